#pragma once
// The controller on the line: takes the frames the framer cut, lets the controller answer,
// plays the planned faults on the answers and keeps the counters. Time comes in from outside;
// what goes out is a list of byte runs, each with the moment it is due on the line.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/controller.h"
#include "sim/faults.h"
#include "sim/rtu_framer.h"
#include "sim/stats.h"

namespace torvex::sim {

struct Transmission {
  std::int64_t dueUs;
  Bytes bytes;
};

class Responder {
 public:
  // `startUs` is the moment the plant's clock starts.
  Responder(Controller controller, FaultPlan faults, std::uint64_t seed, std::int64_t startUs);

  struct Reply {
    std::vector<Transmission> transmissions;
    bool eepromChanged = false;
    std::string verdict;  // for the trace: what became of the frame
  };
  Reply OnFrame(const Frame& frame, std::int64_t nowUs);

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
