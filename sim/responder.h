#pragma once
// The controller behind the master's frames: lets the controller answer each frame, decides
// which planned faults hit the answer and keeps the counters. How a fault shows depends on how
// the answer travels (sim/rtu_answers.h on a line, sim/mbap_answers.h on Modbus TCP). Time
// comes in from outside.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/controller.h"
#include "sim/faults.h"
#include "sim/rtu_framer.h"
#include "sim/stats.h"

namespace torvex::sim {

// Bytes due to go out at a moment.
struct Transmission {
  std::int64_t dueUs;
  Bytes bytes;
};

// What becomes of one frame.
struct Decision {
  Bytes answer;            // the controller's answer frame with its CRC; empty: none goes out
  std::int64_t dueUs = 0;  // when the answer may go: --delay-ms after the frame
  bool echo = false;       // the frame heard goes back first, answered or not (--echo)
  bool corrupt = false;    // --corrupt-every
  bool split = false;      // --split-every
  bool wrongTransaction = false;  // --wrong-transaction-every
  Bytes noise;             // --noise-every: 1-3 stray bytes for a line; empty: no noise
  bool eepromChanged = false;
  std::string verdict;     // for the trace: what became of the frame
};

class Responder {
 public:
  // `startUs` is the moment the plant's clock starts.
  Responder(Controller controller, FaultPlan faults, std::uint64_t seed, std::int64_t startUs);

  // `frame` ended on the line at `nowUs`.
  Decision Decide(const Frame& frame, std::int64_t nowUs);
  // A frame the controller cannot make out, whatever its bytes: sent in another line mode. It
  // counts as received and ignored; `why` is the verdict.
  Decision Unheard(std::string why);
  // A gateway in front answered for the controller (an exception of its own).
  void GatewayAnswered() { stats_.gatewayAnswered = stats_.gatewayAnswered.value_or(0) + 1; }

  const Stats& GetStats() const { return stats_; }
  const Controller& GetController() const { return controller_; }

 private:
  Controller controller_;
  FaultPlan faults_;
  std::int64_t startUs_;
  std::mt19937_64 noise_;
  std::uint64_t requests_ = 0;
  Stats stats_;
};

}  // namespace torvex::sim
