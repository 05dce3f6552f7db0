#pragma once
// How the whole table is cut into block requests: runs of up to 20 entries whose EEPROM
// bytes follow each other, so the table moves in three reads or four writes, not 49.
#include <vector>

#include "params/param_table.h"

namespace torvex {

struct ParamBlock {
  int first = 0;    // index of the block's first entry
  int entries = 0;  // entries carried, first .. first + entries - 1
  int bytes = 0;    // their total width: the request's n
};

enum class BlockUse {
  Read,  // every entry, the slave address inside the last block
  // The slave address is left out of the blocks: the caller writes it alone, after all
  // else, so the controller moves to its new address only once the rest is stored.
  Write,
};

std::vector<ParamBlock> ParamBlocks(const ParamTable& table, BlockUse use);

}  // namespace torvex
