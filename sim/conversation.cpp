#include "sim/conversation.h"

namespace torvex::sim {

void Conversation::Answer(std::span<const std::uint8_t> heard, std::int64_t heardUs,
                          const Decision& decision, std::vector<Transmission> runs) {
  observer_.Trace("<-", heard, heardUs, decision.verdict);
  for (Transmission& t : runs) {
    observer_.Trace("->", t.bytes, t.dueUs, t.dueUs > heardUs ? "due later" : "");
    if (!output_.Schedule(t.dueUs, std::move(t.bytes))) {
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
