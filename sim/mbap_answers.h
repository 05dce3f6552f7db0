#pragma once
// The controller's decision as Modbus TCP carries it. There is no CRC, so a spoiled answer has
// its protocol identifier spoiled; noise is the previous answer frame sent again (with its old
// transaction identifier), as a gateway replaying a stale frame does; a wrong transaction
// identifier is one that is not the request's.
#include <cstdint>
#include <vector>

#include "sim/mbap_framer.h"
#include "sim/responder.h"

namespace torvex::sim {

class MbapAnswers {
 public:
  // The runs to send for `request`, heard at `heardUs`, whose answer is due at `dueUs` (the
  // decision's own moment, or later when a line behind a gateway takes its time). Adds to the
  // decision's verdict how its faults showed.
  std::vector<Transmission> For(const MbapRequest& request, Decision& decision, std::int64_t heardUs,
                                std::int64_t dueUs);

  // The transaction identifier a wrong one has: half the count away from the request's, so it
  // matches no request near it.
  static constexpr std::uint16_t kWrongTransactionOffset = 0x8000;

 private:
  Bytes previous_;  // the last answer frame, as it was meant
};

}  // namespace torvex::sim
