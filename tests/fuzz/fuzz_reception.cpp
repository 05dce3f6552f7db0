// The exchange tick with whatever the line brings: the real engine on a fake port, its
// decoder wired as the tool wires it (DecodeResponse, then the parameter answers to
// ParamTransfer), any view mode and any texts in the parameter boxes that name the sensor
// types.
//
// Input:
//   byte 0   bit 0: opt_view(0) (converter view) selected; bit 1: opt_view(1) (measuring
//            view) selected; bit 2: Russian number format (decimal comma)
//   byte 1   number of parameter boxes to fill; each: box index (mod 49), text length, text
//   then one record per tick until the input ends:
//     control byte  bits 0-3 all set: the bytes arrive as they are; 0xE: their CRC is
//                   appended; otherwise they also start with the address and function of
//                   the request on the line, so that many ticks carry an answer the
//                   decoders take;
//                   bit 4: 256 more bytes (a tick overflowing the receive buffer);
//                   bits 5-6: an operator command before the tick: 1 read all parameters,
//                   2 write all, 3 Enter in the box named by the next byte;
//                   bit 7: the port closes (or opens again) before the tick
//     length byte   then that many bytes
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <QLocale>

#include "decode/decode_response.h"
#include "decode/numeric.h"
#include "decode/poll_schedule.h"
#include "engine/modbus_engine.h"
#include "fuzz/fuzz_input.h"
#include "modbus/crc16.h"
#include "params/param_transfer.h"
#include "support/fake_serial_port.h"
#include "support/fake_view.h"

namespace torvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMaxStored = 260;

struct Rig {
  test::FakeSerialPort port;
  test::FakeView view;
  // Each tick comes one 100 ms tick after the last: on the fast line every exchange is judged
  // in the tick after its request.
  std::chrono::steady_clock::time_point now{};
  PollSchedule poll;
  ModbusEngine engine{port, [this] { return now; }};
  ParamTransfer params{engine, view};

  Rig() {
    engine.SetPollSource([this] { return poll.Next(); });
    engine.SetDecoder([this](const RxAnswer& answer) {
      DecodeResponse(answer, view, params.Model().SensorTypes(),
                     [this](const RxAnswer& param) { params.DecodeParamAnswer(param); });
    });
  }
};

bool IsError(ExchangeOutcome outcome) {
  return outcome == ExchangeOutcome::kNoAnswer || outcome == ExchangeOutcome::kChecksumMismatch ||
         outcome == ExchangeOutcome::kNotThisAnswer || outcome == ExchangeOutcome::kOwnRequest;
}

// A box painted green holds a number the controller sent: its text must read back to a raw
// value of the entry's range, or the next write of the box would send something else.
void CheckConfirmedBoxes(const Rig& rig) {
  for (int i = 0; i < kParamCount; ++i) {
    const ControlRef box{Control::txt_par, i};
    if (rig.view.Color(box) != kGreen) continue;
    const ParamEntry& entry = rig.params.Table().at(static_cast<std::size_t>(i));
    const RawBounds bounds = RawBoundsForWidth(entry.width);
    const QString text = rig.view.Text(box);
    FUZZ_CHECK(text.endsWith(u' '));
    const double raw = ParseNumber(text) / entry.scale;
    FUZZ_CHECK(std::isfinite(raw));
    const std::int32_t r = RoundHalfAway(raw);
    FUZZ_CHECK(r >= bounds.min && r <= bounds.max);
    FUZZ_CHECK(std::fabs(raw - r) < 1e-6);
  }
}

void OperatorCommand(Rig& rig, int command, fuzz::Input& in) {
  switch (command) {
    case 1: rig.params.cmd_readall_Click(); break;
    case 2: rig.params.cmd_writeall_Click(); break;
    case 3: rig.params.txt_par_KeyPress(in.Byte() % kParamCount); break;
    default: break;
  }
}

void OneTick(Rig& rig, fuzz::Input& in) {
  const std::uint8_t control = in.Byte();
  std::size_t length = in.Byte();
  if (control & 0x10) length += 256;
  const std::span<const std::uint8_t> bytes = in.Take(length);

  OperatorCommand(rig, (control >> 5) & 3, in);
  if (control & 0x80) rig.port.open = !rig.port.open;

  const std::size_t framesBefore = rig.port.written.size();
  const std::optional<Bytes> inFlight =
      framesBefore > 0 ? std::optional<Bytes>(rig.port.written.back()) : std::nullopt;
  Bytes arrived(bytes.begin(), bytes.end());
  if ((control & 0x0F) != 0x0F) {
    // Mostly with the address and function of the request on the line, so that the answer
    // matcher and the decoders behind it get their share.
    if ((control & 0x0F) != 0x0E && inFlight && arrived.size() >= 2) {
      arrived[0] = (*inFlight)[0];
      arrived[1] = (*inFlight)[1];
    }
    modbus::AppendCrc(arrived);
  }
  rig.port.Receive(arrived);

  const std::int64_t errorsBefore = rig.engine.ExchangeErrors();
  rig.now += std::chrono::milliseconds(100);
  const std::optional<ExchangeOutcome> outcome = rig.engine.Tick(QStringLiteral("115200,n,8,2"));

  // Every byte waiting is consumed; on the fast line every tick judges, and exactly the failed
  // exchanges count as errors.
  if (rig.port.open) FUZZ_CHECK(rig.port.incoming.empty());
  FUZZ_CHECK(rig.engine.RxCount() >= 0 && rig.engine.RxCount() <= kMaxStored);
  FUZZ_CHECK(outcome.has_value());
  FUZZ_CHECK(rig.engine.ExchangeErrors() == errorsBefore + (IsError(*outcome) ? 1 : 0));
  // A valid answer is the answer of the request that was on the line, CRC right.
  FUZZ_CHECK((*outcome == ExchangeOutcome::kLinkUp) == (rig.engine.RxCount() > 0));
  if (*outcome == ExchangeOutcome::kLinkUp) {
    FUZZ_CHECK(inFlight.has_value());
    Bytes answer;
    for (int i = 0; i < rig.engine.RxCount(); ++i) {
      answer.push_back(static_cast<std::uint8_t>(rig.engine.Rx()[i]));
    }
    FUZZ_CHECK(modbus::CrcMatches(answer));
    FUZZ_CHECK(answer[0] == (*inFlight)[0]);
    FUZZ_CHECK((answer[1] & 0x7F) == ((*inFlight)[1] & 0x7F));
  }

  // At most one frame per tick, addressed and with its CRC right.
  FUZZ_CHECK(rig.port.written.size() <= framesBefore + 1);
  if (rig.port.written.size() > framesBefore) {
    const Bytes& frame = rig.port.written.back();
    FUZZ_CHECK(frame.size() >= 4 && frame[0] == rig.engine.SlaveAddress());
    FUZZ_CHECK(modbus::CrcMatches(frame));
  }
  CheckConfirmedBoxes(rig);
}

}  // namespace
}  // namespace torvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  fuzz::Input in(data, size);
  const std::uint8_t mode = in.Byte();
  QLocale::setDefault(mode & 4 ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c());

  auto rig = std::make_unique<Rig>();
  rig->view.SetChecked({Control::opt_view, 0}, mode & 1);
  rig->view.SetChecked({Control::opt_view, 1}, mode & 2);

  for (int boxes = in.Byte(); boxes > 0 && !in.Empty(); --boxes) {
    const int box = in.Byte() % kParamCount;
    rig->view.SetText({Control::txt_par, box}, fuzz::Utf8(in.Take(in.Byte())));
  }
  while (!in.Empty()) OneTick(*rig, in);
  return 0;
}
