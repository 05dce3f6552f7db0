#include "params/param_table.h"

#include <gtest/gtest.h>

#include "params/param_transfer.h"
#include "support/fake_serial_port.h"
#include "support/fake_view.h"

namespace torvex {
namespace {

TEST(ParamTable, CoversEepromBytes0To96WithoutGaps) {
  ParamTable table{};
  InitParamTable(table);
  EXPECT_EQ(table[0].address, 0);
  for (int i = 0; i + 1 < kParamCount; ++i) {
    EXPECT_EQ(table[i].address + table[i].width, table[i + 1].address) << "entry " << i;
    EXPECT_EQ(table[i].width, 2) << "entry " << i;
  }
  EXPECT_EQ(table[kSlaveAddressParam].address + table[kSlaveAddressParam].width, 97);
}

TEST(ParamTable, CalibrationPointsScaleByTenthsEverythingElseByOne) {
  ParamTable table{};
  InitParamTable(table);
  const struct {
    int index;
    ParamEntry entry;
  } rows[] = {
      {0, {0x00, 2, 0.1}},  {7, {0x0E, 2, 0.1}},  {8, {0x10, 2, 1}},  {23, {0x2E, 2, 1}},
      {24, {0x30, 2, 0.1}}, {31, {0x3E, 2, 0.1}}, {32, {0x40, 2, 1}}, {47, {0x5E, 2, 1}},
      {48, {0x60, 1, 1}},
  };
  for (const auto& row : rows) EXPECT_EQ(table[row.index], row.entry) << "entry " << row.index;
}

// Every start-up path fills the table, but a handler must not find it empty even if one
// path forgets to.
TEST(ParamTable, TransferHasItsTableFromConstruction) {
  test::FakeSerialPort port;
  test::FakeView view;
  ModbusEngine engine{port};
  ParamTransfer params{engine, view};
  ParamTable table{};
  InitParamTable(table);
  EXPECT_EQ(params.Table(), table);
}

}  // namespace
}  // namespace torvex
