#include "decode/decode_response.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "answer_frames.h"
#include "default_locale.h"

namespace torvex {
namespace {

using test::Cut;
using test::FakeView;
using test::MakeFrame;
using test::ReadAnswer;

const QString kLinkUp = QStringLiteral("Связь с контроллером TORVEX-CPU установлена");
const QString kOld = QStringLiteral("old");

struct ViewState {
  std::map<FakeView::KeyT, QString> texts;
  std::map<FakeView::KeyT, bool> checked, opaque;
  std::map<FakeView::KeyT, std::uint32_t> colors;
  bool operator==(const ViewState&) const = default;
};
ViewState StateOf(const FakeView& v) { return {v.texts, v.checked, v.opaque, v.colors}; }

// A window that has shown earlier answers: every display control holds something, so any
// write the decoder makes shows.
FakeView ShownWindow(bool measurementView) {
  FakeView view;
  test::SelectView(view, measurementView);
  view.SetText({Control::lbl_sys_mes}, kLinkUp);
  for (Control c : {Control::lbl_pr_ver, Control::lbl_sw_ver, Control::lbl_ds18b20,
                    Control::lbl_shaft, Control::lbl_prop, Control::lbl_dir, Control::lbl_st_flt}) {
    view.SetText({c}, kOld);
  }
  for (int i = 0; i < 64; ++i) view.SetText({Control::lbl_u, i}, kOld);
  for (int i = 0; i < 32; ++i) {
    view.SetChecked({Control::chk_out, i}, true);
    view.SetOpaque({Control::lbl_eds, i}, false);
  }
  view.writes = 0;
  return view;
}

ChannelTypes AllPt100() {
  ChannelTypes types{};
  types.fill(SensorType::kPt100);
  return types;
}

class Decoding : public ::testing::Test {
 protected:
  void Decode(const test::Frame& frame) { DecodeResponse(frame.Answer(), view, types, handler); }

  test::DefaultLocale locale{QLocale::Russian};
  FakeView view = ShownWindow(true);
  ChannelTypes types = AllPt100();
  std::vector<RxAnswer> handled;
  ParamAnswerHandler handler = [this](const RxAnswer& a) { handled.push_back(a); };
};

TEST_F(Decoding, StatusAnswerInConverterViewLeavesTheGrid) {
  test::SelectView(view, false);
  std::vector<int> registers(90, 0x0101);
  registers[49] = 0x0201;
  Decode(ReadAnswer(registers, 180));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(view.Text({Control::lbl_u, i}), kOld) << i;
  EXPECT_EQ(view.Text({Control::lbl_pr_ver}), "1 .01 ");
  EXPECT_EQ(view.Text({Control::lbl_ds18b20}), "128,5 °C");
  EXPECT_EQ(view.Text({Control::lbl_shaft}), "16843009 Гц");
  EXPECT_EQ(view.Text({Control::lbl_st_flt}), "ST_FLT  0201");
  EXPECT_TRUE(view.opaque.at(FakeView::Key({Control::lbl_eds, 8})));
}

TEST_F(Decoding, ConverterAnswerFillsTheGridOnlyInConverterView) {
  std::vector<int> words(64);
  for (int i = 0; i < 64; ++i) words[static_cast<std::size_t>(i)] = 10 * i;
  words[0] = 0xFFFF;   // -1
  words[31] = 0x8000;  // -32768
  words[63] = 12345;
  const test::Frame frame = ReadAnswer(words);

  const ViewState before = StateOf(view);
  Decode(frame);
  EXPECT_TRUE(StateOf(view) == before);

  test::SelectView(view, false);
  Decode(frame);
  EXPECT_EQ(view.Text({Control::lbl_u, 0}), "-0,1 ");
  EXPECT_EQ(view.Text({Control::lbl_u, 1}), "1 ");
  EXPECT_EQ(view.Text({Control::lbl_u, 31}), "-3276,8 ");
  EXPECT_EQ(view.Text({Control::lbl_u, 62}), "62 ");
  EXPECT_EQ(view.Text({Control::lbl_u, 63}), "1234,5 ");
  EXPECT_EQ(view.writes, 64);
}

TEST_F(Decoding, ReadBackOverwritesEveryOutputBox) {
  Decode(ReadAnswer({0x0001, 0x8000}));  // 3001 = outputs 16-31, 3002 = outputs 0-15
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(view.IsChecked({Control::chk_out, i}), i == 15 || i == 16) << i;
  }
  EXPECT_EQ(view.writes, 0);
}

// An answer shows what its request read, whatever its size: the same registers answering
// another read, or the outputs' read-back in the status block's place, show nothing.
TEST_F(Decoding, AnAnswerIsToldByItsRequest) {
  const ViewState before = StateOf(view);
  test::Frame pair = ReadAnswer({0x0001, 0x8000});
  pair.request = modbus::ReadHoldingRegisters(3010, 2);
  Decode(pair);
  test::Frame status = ReadAnswer(std::vector<int>(90, 0x0101), 180);
  status.request = modbus::ReadHoldingRegisters(3001, 90);
  Decode(status);
  EXPECT_TRUE(StateOf(view) == before);

  pair.request = modbus::ReadHoldingRegisters(3001, 2);
  Decode(pair);
  EXPECT_TRUE(view.IsChecked({Control::chk_out, 15}));
  EXPECT_FALSE(view.IsChecked({Control::chk_out, 14}));
}

// Exception answers are told with the exchange's outcome, in the status line.
TEST_F(Decoding, ExceptionsWriteAnswersAndOtherFunctionsChangeNothing) {
  const ViewState before = StateOf(view);
  for (const std::vector<int>& frame : std::vector<std::vector<int>>{
           {0x83, 2}, {0x90, 11}, {0xFF, 0}, {0xE4, 255},  // exceptions
           {6, 0x0B, 0xB8, 0x00, 0x05},        // transaction code write
           {16, 0x0B, 0xB9, 0x00, 0x02},       // discrete outputs write
           {23, 4, 0, 1, 0, 2}, {0, 4, 0, 1, 0, 2}, {127, 4, 0, 1, 0, 2}}) {
    Decode(MakeFrame(frame));
  }
  EXPECT_TRUE(StateOf(view) == before);
  EXPECT_TRUE(handled.empty());
}

TEST_F(Decoding, ParameterAnswersGoToTheHandler) {
  const ViewState before = StateOf(view);
  const test::Frame read = MakeFrame({100, 0x00, 0x10, 2, 0x12, 0x34});
  const test::Frame write = MakeFrame({101, 0x00, 0x10, 1, 0x05});
  Decode(read);
  Decode(write);
  ASSERT_EQ(handled.size(), 2u);
  EXPECT_EQ(&handled[0].cells, &read.cells);
  EXPECT_EQ(handled[0].count, read.count);
  EXPECT_EQ(&handled[1].cells, &write.cells);
  DecodeResponse(read.Answer(), view, types, {});  // no parameter module yet
  EXPECT_TRUE(StateOf(view) == before);
}

// Registers past the frame's end, past its byte count, or in its CRC cells are an older
// answer's: a label is written only when every register it shows arrived.
TEST_F(Decoding, StatusAnswerCutShortShowsOnlyWhatArrived) {
  struct Shown {
    ControlRef label;
    std::vector<int> registers;
  };
  std::vector<Shown> texts{{{Control::lbl_pr_ver}, {50}}, {{Control::lbl_sw_ver}, {51}},
                           {{Control::lbl_ds18b20}, {44, 49}}, {{Control::lbl_shaft}, {45, 46}},
                           {{Control::lbl_prop}, {47, 48}}, {{Control::lbl_dir}, {49}},
                           {{Control::lbl_st_flt}, {49}}};
  for (int i = 0; i < 32; ++i) {
    texts.push_back({{Control::lbl_u, i}, {10 + i}});
    texts.push_back({{Control::lbl_u, 32 + i}, {52 + i}});
  }
  std::vector<int> registers(90, 0x0101);
  registers[42] = registers[43] = 0xFFFF;
  const test::Frame whole = ReadAnswer(registers, 180);

  for (int carried : {0, 10, 11, 42, 43, 44, 45, 46, 48, 49, 50, 51, 52, 83, 84, 90}) {
    for (int halfRegister : {0, 1}) {
      const int count = std::min(3 + 2 * carried + halfRegister + 2, whole.count);
      SCOPED_TRACE(testing::Message() << "cells " << count);
      FakeView fresh = ShownWindow(true);
      DecodeResponse(Cut(whole, count).Answer(), fresh, types, {});
      for (const Shown& s : texts) {
        const bool arrived = std::ranges::all_of(s.registers, [&](int r) { return r < carried; });
        EXPECT_EQ(fresh.Text(s.label) != kOld, arrived)
            << int(s.label.control) << "(" << s.label.index << ")";
      }
      for (int i = 0; i < 32; ++i) {
        const bool arrived = (i < 16 ? 43 : 42) < carried;
        EXPECT_EQ(fresh.opaque.at(FakeView::Key({Control::lbl_eds, i})), arrived) << i;
      }
    }
  }
}

TEST_F(Decoding, ConverterAnswerShowsOnlyTheRegistersItCarries) {
  struct Case {
    int byteCount, words, cells;  // cells: how much of the frame arrived, 0 for all
    int shown;
  };
  for (const Case& c : std::vector<Case>{
           {128, 10, 0, 10},   // byte count claims more than the frame holds
           {128, 64, 45, 20},  // frame cut: 20 registers and two cells taken for the CRC
           {128, 64, 46, 20},  // half a register is no register
           {6, 64, 0, 3},      // byte count shorter than the frame
           {7, 64, 0, 3},
           {0, 64, 0, 0},
           {130, 65, 0, 64},  // a 65th register has no label
       }) {
    SCOPED_TRACE(testing::Message() << c.byteCount << "/" << c.words << "/" << c.cells);
    FakeView fresh = ShownWindow(false);
    const test::Frame frame = ReadAnswer(std::vector<int>(static_cast<std::size_t>(c.words), 7),
                                         c.byteCount);
    DecodeResponse((c.cells ? Cut(frame, c.cells) : frame).Answer(), fresh, types, {});
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(fresh.Text({Control::lbl_u, i}), i < c.shown ? "0,7 " : kOld) << i;
    }
  }
}

TEST_F(Decoding, FramesTooShortForTheirKindChangeNothing) {
  const ViewState before = StateOf(view);
  for (const test::Frame& frame : {
           Cut(ReadAnswer({0x0001, 0x8000}), 8),  // read-back without its last byte
           ReadAnswer({0x0001}, 4),               // read-back with one register
           Cut(MakeFrame({3, 180}), 4),           // no byte count
           Cut(MakeFrame({0x83, 2}), 4),          // no exception code
           Cut(MakeFrame({0x83, 2}), 3),          // no function code: cells 1-2 are the CRC
           Cut(MakeFrame({100, 0, 1}), 3),
       }) {
    Decode(frame);
  }
  EXPECT_TRUE(StateOf(view) == before);
  EXPECT_TRUE(handled.empty());
}

}  // namespace
}  // namespace torvex
