#pragma once
// The controller's decision as a serial line carries it (also RTU over TCP): the echo of the
// frame heard, stray bytes before the answer, a spoiled CRC, an answer in two parts.
#include <cstdint>
#include <vector>

#include "sim/responder.h"

namespace torvex::sim {

// The runs to send for `heard`, which ended at `nowUs`; adds to the decision's verdict how its
// faults showed.
std::vector<Transmission> RtuTransmissions(const Frame& heard, Decision& decision, std::int64_t nowUs);

}  // namespace torvex::sim
