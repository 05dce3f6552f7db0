#include "sim/stats.h"

#include "sim/text.h"

namespace torvex::sim {

std::string Summary(const Stats& s) {
  std::string text = "torvex-sim: " + Dec(s.received) + " frames received, " + Dec(s.answered) +
                     " answered (" + Dec(s.refused) + (s.refused == 1 ? " exception), " : " exceptions), ") +
                     Dec(s.badCrc) + " bad CRC, " + Dec(s.ignored) + " ignored, " +
                     Dec(s.broadcast) + " broadcast, " + Dec(s.silenced) + " kept silent";
  if (s.gatewayAnswered) text += ", " + Dec(*s.gatewayAnswered) + " answered by the gateway";
  if (s.talkedOver) text += ", " + Dec(*s.talkedOver) + " bytes over an answer";
  const char* separator = "; by function ";
  for (const auto& [function, count] : s.byFunction) {
    text += separator + Dec(function) + ": " + Dec(count);
    separator = ", ";
  }
  return text;
}

}  // namespace torvex::sim
