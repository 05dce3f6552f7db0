// The measurement display, driven through status answers so that every rule is checked with
// the register it is fed from.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "answer_frames.h"
#include "decode/decode_response.h"
#include "decode/display_rules.h"
#include "default_locale.h"

namespace torvex {
namespace {

using test::FakeView;

constexpr int kStatusRegisters = 90;

class MeasurementDisplay : public ::testing::Test {
 protected:
  MeasurementDisplay() { test::SelectView(view, true); }

  void Decode(const std::vector<int>& values) {
    DecodeResponse(test::ReadAnswer(values, 180).Answer(), view, types, {});
  }
  QString Text(Control c, int index = -1) const { return view.Text({c, index}); }

  test::DefaultLocale locale{QLocale::Russian};
  FakeView view;
  ChannelTypes types{};
  std::vector<int> registers = std::vector<int>(kStatusRegisters, 0);
};

TEST_F(MeasurementDisplay, ChannelsFollowTheTypeOfTheirParameter) {
  struct Case {
    QString type;
    int channel;  // AIN1 channel j is j, AIN2 channel j is 16+j
    int sensor, input;
    QString sensorText, inputText;
  };
  const std::vector<Case> cases{
      {"2", 0, 10050, 1234, "100,5 Ом", "12,34 мВ"},  // Pt100, even: resistance, voltage
      {"2", 1, 235, 10930, "23,5 °C", "109,3 Ом"},    // Pt100, odd: temperature, resistance
      {"3", 2, 1005, 1234, "100,5 Ом", "123,4 мВ"},
      {"3", 3, -235, 10930, "-23,5 °C", "1093 Ом"},
      {"4", 4, 235, 1001, "23,5 °C", "2,002 мВ"},
      {"5", 5, 5000, 12000, "50 %", "12 мА"},
      {"1", 6, 0, 15, "Откл", "1,5 мВ"},
      {"1", 7, -1, -15, "Вкл", "-1,5 мВ"},
      {"0", 8, 100, 100, "?", "?"},
      {"6", 9, 100, 100, "?", "?"},
      {"2.5", 10, 100, 100, "?", "?"},
      {"abc", 11, 100, 100, "?", "?"},
      {"2 ", 16, 10050, 1234, "100,5 Ом", "12,34 мВ"},  // as a parameter read writes it
      {"2,0", 17, 235, 10930, "23,5 °C", "109,3 Ом"},
      {"4", 31, -5, -1, "-0,5 °C", "-0,002 мВ"},
  };
  std::set<int> typed;
  for (const Case& c : cases) {
    types.at(static_cast<std::size_t>(c.channel)) = SensorTypeFromText(c.type);
    registers[10 + c.channel] = c.sensor & 0xFFFF;
    registers[52 + c.channel] = c.input & 0xFFFF;
    typed.insert(c.channel);
  }
  Decode(registers);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.channel);
    EXPECT_EQ(Text(Control::lbl_u, c.channel), c.sensorText);
    EXPECT_EQ(Text(Control::lbl_u, 32 + c.channel), c.inputText);
  }
  for (int channel = 0; channel < 32; ++channel) {  // no type set
    if (typed.contains(channel)) continue;
    EXPECT_EQ(Text(Control::lbl_u, channel), "?") << channel;
    EXPECT_EQ(Text(Control::lbl_u, 32 + channel), "?") << channel;
  }
}

TEST_F(MeasurementDisplay, TemperatureDirectionAndStatusWord) {
  struct Case {
    int temperature, status;
    QString temperatureText, directionText, statusText;
  };
  for (const Case& c : std::vector<Case>{
           {47, 0x0000, "23,5 °C", "?", "ST_FLT  0000"},
           {-1, 0x0201, "-0,5 °C", "?", "ST_FLT  0201"},  // invalid wins over forward
           {0, 0x0003, "0 °C", "Вперед", "ST_FLT  0003"},  // forward wins over backward
           {-32768, 0x0002, "-16384 °C", "Назад", "ST_FLT  0002"},
           {47, 0x8002, "Не подключен", "Назад", "ST_FLT  8002"},
           {0, 0xFFFF, "Не подключен", "?", "ST_FLT  FFFF"},
       }) {
    SCOPED_TRACE(c.status);
    registers[44] = c.temperature & 0xFFFF;
    registers[49] = c.status;
    Decode(registers);
    EXPECT_EQ(Text(Control::lbl_ds18b20), c.temperatureText);
    EXPECT_EQ(Text(Control::lbl_dir), c.directionText);
    EXPECT_EQ(Text(Control::lbl_st_flt), c.statusText);
  }
}

TEST_F(MeasurementDisplay, VersionsAndSpeeds) {
  registers[50] = 0x0109;
  registers[51] = 0x010A;
  registers[45] = 1;  // engine speed, high word first
  registers[46] = 0;
  registers[47] = 0xFFFF;
  registers[48] = 0xFFFF;
  Decode(registers);
  EXPECT_EQ(Text(Control::lbl_pr_ver), "1 .09 ");
  EXPECT_EQ(Text(Control::lbl_sw_ver), "1 .10 ");
  EXPECT_EQ(Text(Control::lbl_shaft), "65536 Гц");
  EXPECT_EQ(Text(Control::lbl_prop), "4294967295 Гц");

  for (auto [word, text] : std::vector<std::pair<int, QString>>{
           {0x0000, "0 .00 "}, {0x0209, "2 .09 "}, {0x020E, "2 .14 "}, {0xFFFF, "255 .255 "}}) {
    ShowVersion(view, {Control::lbl_pr_ver}, word);
    EXPECT_EQ(Text(Control::lbl_pr_ver), text);
  }
}

TEST_F(MeasurementDisplay, DiscreteInputsLightTheirBits) {
  for (int i = 0; i < 32; ++i) view.SetOpaque({Control::lbl_eds, i}, true);
  registers[42] = 0x0001;  // input 16
  registers[43] = 0x8000;  // input 15
  Decode(registers);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(view.opaque.at(FakeView::Key({Control::lbl_eds, i})), i == 15 || i == 16) << i;
  }
  for (int i = 0; i < 32; ++i) EXPECT_FALSE(view.texts.contains(FakeView::Key({Control::lbl_eds, i})));
}

}  // namespace
}  // namespace torvex
