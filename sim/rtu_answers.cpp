#include "sim/rtu_answers.h"

namespace torvex::sim {

std::vector<Transmission> RtuTransmissions(const Frame& heard, Decision& d, std::int64_t nowUs) {
  std::vector<Transmission> out;
  if (d.echo) out.push_back({nowUs, heard.bytes});
  if (d.answer.empty()) return out;
  Bytes answer = d.answer;
  if (d.corrupt) {
    answer.back() ^= 0xFF;
    d.verdict += ", CRC spoiled";
  }
  if (!d.noise.empty()) {
    answer.insert(answer.begin(), d.noise.begin(), d.noise.end());
    d.verdict += ", noise before it";
  }
  if (d.split) {
    const auto half = static_cast<std::ptrdiff_t>(answer.size() / 2);
    out.push_back({d.dueUs, Bytes(answer.begin(), answer.begin() + half)});
    out.push_back({d.dueUs + kSplitPauseUs, Bytes(answer.begin() + half, answer.end())});
    d.verdict += ", split";
  } else {
    out.push_back({d.dueUs, std::move(answer)});
  }
  return out;
}

}  // namespace torvex::sim
