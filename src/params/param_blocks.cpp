#include "params/param_blocks.h"

namespace torvex {
namespace {

constexpr int kMaxBlockEntries = 20;

const ParamEntry& Entry(const ParamTable& table, int i) {
  return table.at(static_cast<std::size_t>(i));
}

}  // namespace

std::vector<ParamBlock> ParamBlocks(const ParamTable& table, BlockUse use) {
  std::vector<ParamBlock> blocks;
  int i = 0;
  while (i < kParamCount) {
    ParamBlock block{i, 0, 0};
    int passed = 0;
    for (;;) {
      const int k = i + passed;
      if (use == BlockUse::Write && k == kSlaveAddressParam) {
        ++passed;  // passed over, not carried
        break;
      }
      block.bytes += Entry(table, k).width;
      ++block.entries;
      ++passed;
      if (passed == kMaxBlockEntries || k == kParamCount - 1) break;
      const ParamEntry& taken = Entry(table, k);
      if (taken.address + taken.width != Entry(table, k + 1).address) break;
    }
    // A block that carries nothing would be a request for zero bytes.
    if (block.entries > 0) blocks.push_back(block);
    i += passed;
  }
  return blocks;
}

}  // namespace torvex
