#include "sim/conversation.h"

namespace torvex::sim {

void Conversation::Answer(std::span<const std::uint8_t> heard, std::int64_t heardUs,
                          const Decision& decision, std::vector<Transmission> runs) {
  observer_.Trace("<-", heard, heardUs, decision.verdict);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    Transmission& t = runs[k];
    // The answer's last run is the last of the runs; an echo alone is no answer.
    const bool closing = closeAfterAnswer_ && !decision.answer.empty() && k + 1 == runs.size();
    std::string note = t.dueUs > heardUs ? "due later" : "";
    if (closing) note += note.empty() ? "then the connection closes" : ", then the connection closes";
    observer_.Trace("->", t.bytes, t.dueUs, note);
    if (!output_.Schedule(t.dueUs, std::move(t.bytes), closing)) {
      if (!dropping_) observer_.Say("nobody reads the answers; they are dropped until there is room again");
      dropping_ = true;
      continue;
    }
    dropping_ = false;
    if (pair_) pair_->Answer(output_.LastSpan().first, output_.LastSpan().second);
  }
  if (decision.eepromChanged) observer_.EepromChanged();
}

}  // namespace torvex::sim
