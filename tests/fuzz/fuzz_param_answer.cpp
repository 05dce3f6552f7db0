// The parameter answer decoder on any buffer and any count of received cells. Whatever it
// shows must come from this answer's own data bytes, at the right places.
//
// Input:
//   bytes 0-1  cells the tick stored, little endian, taken modulo 300
//   byte 2     what older answers left in every cell the input does not fill
//   byte 3     bit 0: Russian number format (decimal comma)
//   then the cells from cell 0 on (at most 261)
#include <algorithm>
#include <cstdint>
#include <memory>

#include <QLocale>

#include "decode/numeric.h"
#include "engine/modbus_engine.h"
#include "fuzz/fuzz_input.h"
#include "modbus/expected_answer.h"
#include "params/param_transfer.h"
#include "support/fake_serial_port.h"
#include "support/fake_view.h"

namespace torvex {
namespace {

constexpr int kHeader = modbus::kEepromAnswerHeader;
constexpr int kCrcBytes = modbus::kCrcSize;

struct Rig {
  test::FakeSerialPort port;
  test::FakeView view;
  ModbusEngine engine{port};
  ParamTransfer params{engine, view};
};

}  // namespace
}  // namespace torvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  fuzz::Input in(data, size);
  const int count = (in.Byte() | (in.Byte() << 8)) % 300;
  RxBuffer cells;
  cells.fill(in.Byte());
  QLocale::setDefault(in.Byte() & 1 ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c());
  for (std::size_t i = 0; i < cells.size() && !in.Empty(); ++i) cells[i] = in.Byte();

  auto rig = std::make_unique<Rig>();
  const modbus::Pdu request(static_cast<std::uint8_t>(cells[1]), {});
  rig->params.DecodeParamAnswer(RxAnswer{cells, count, request});

  // The boxes written form one run from the entry at the answer's start address, each box
  // showing the bytes at its place in the data, and the run stays within the data bytes both
  // announced and received.
  const ParamTable& table = rig->params.Table();
  int first = -1;
  int last = -1;
  for (int i = 0; i < kParamCount; ++i) {
    if (!rig->view.texts.contains(test::FakeView::Key({Control::txt_par, i}))) continue;
    if (first < 0) first = i;
    FUZZ_CHECK(last < 0 || last == i - 1);
    last = i;
  }
  if (first < 0) return 0;
  FUZZ_CHECK(table[first].address == RxWord(cells, 2));

  int pos = kHeader;
  for (int i = first; i <= last; ++i) {
    const ParamEntry& entry = table[i];
    const RawBounds bounds = RawBoundsForWidth(entry.width);
    const ControlRef box{Control::txt_par, i};
    FUZZ_CHECK(rig->view.Color(box) == kGreen);
    const std::int32_t shown = TextToRaw(rig->view.Text(box), bounds.min, bounds.max, entry.scale);
    FUZZ_CHECK(shown == RxInteger(cells, pos, entry.width));
    pos += entry.width;
  }
  const int received = std::min(count, static_cast<int>(cells.size())) - kHeader - kCrcBytes;
  FUZZ_CHECK(pos - kHeader <= std::min(RxInteger(cells, 4, 1), received));
  return 0;
}
