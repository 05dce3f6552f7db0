#include "sim/eeprom_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "sim_process.h"

namespace torvex::sim {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

TEST(EepromDefaults, HoldEverySensorTypeCalibrationPointsAndAddress7) {
  const Eeprom e = Eeprom::Defaults();
  EXPECT_EQ(e.ModbusAddress(), 7);
  EXPECT_EQ(e.Word(0), 1000);   // AIN1 Pt100 point 1: 100.0 Ohm
  EXPECT_EQ(e.Word(62), 200);   // AIN2 4-20 mA point 2: 20.0 mA
  const auto all = e.SensorTypes();
  const std::set<int> types(all.begin(), all.end());
  EXPECT_EQ(types, (std::set<int>{0, 1, 2, 3, 4, 5}));
  // Resistance thermometers on both parities: the tool shows even and odd channels differently.
  EXPECT_EQ(e.SensorTypeOf(0), kSensorPt100);
  EXPECT_EQ(e.SensorTypeOf(1), kSensorPt100);
}

TEST(EepromText, IsTheToolsParameterFileWithTheSimulatorInItsHeader) {
  Eeprom e = Eeprom::Defaults();
  const std::uint8_t changed[] = {0xFF, 0xFB};
  e.Write(0, changed);
  const std::string text = FormatEepromText(e, 7);
  EXPECT_NE(text.find("(torvex-sim)\n# Контроллер: адрес 7, версия ПО 2.14, версия протокола 1.05\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("00: FF FB    # AIN1 Pt100, точка 1 = -0.5\n"), std::string::npos) << text;
  const EepromParse parsed = ParseEepromText(text);
  ASSERT_TRUE(parsed.eeprom) << parsed.error;
  EXPECT_EQ(*parsed.eeprom, e);
  // Files written before the header existed, with all bytes on one line up to the address.
  std::string freeForm = "# hand-written\n00:";
  for (int k = 0; k < 96; ++k) freeForm += " 00";
  freeForm += "\r\n  60 : 2a  # address 42\n";
  const EepromParse hand = ParseEepromText(freeForm);
  ASSERT_TRUE(hand.eeprom) << hand.error;
  EXPECT_EQ(hand.eeprom->ModbusAddress(), 42);
  // Whatever a master stored is kept, even an address nobody can answer at.
  const EepromParse zero = ParseEepromText(freeForm.replace(freeForm.find("2a"), 2, "00"));
  ASSERT_TRUE(zero.eeprom) << zero.error;
  EXPECT_EQ(zero.eeprom->ModbusAddress(), 0);
}

TEST(EepromText, RefusesWhatIsNotACompleteImageInItsOwnWords) {
  const std::string good = FormatEepromText(Eeprom::Defaults());
  const std::string withoutLast = good.substr(0, good.rfind("60:"));
  struct Case {
    const char* what;
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"empty", "", "no parameters at all"},
      {"short", withoutLast, "the parameter at 60 is missing"},
      {"long", good + "61: 00\n", "address 61 lies beyond the EEPROM"},
      {"half a parameter", "00: 01\n02: 03\n", "line 1: the line ends inside the parameter at 00"},
      {"not a byte", "00: 1G\n", "\"1G\" is not a byte"},
      {"three digits", "00: 100\n", "\"100\" is not a byte"},
      {"no colon", "00 01 02\n", "line 1: expected"},
      {"binary junk", std::string("\x01\x02\xff:", 4), "address is not a hex number"},
  };
  for (const Case& c : cases) {
    const EepromParse parsed = ParseEepromText(c.text);
    EXPECT_FALSE(parsed.eeprom) << c.what;
    EXPECT_NE(parsed.error.find(c.error), std::string::npos) << c.what << ": " << parsed.error;
  }
}

TEST(EepromFile, CreatesKeepsAndRescues) {
  const testing::ScratchDir dir;
  const auto path = dir / "eeprom.txt";

  EepromLoad created = LoadEepromFile(path);
  ASSERT_TRUE(created.eeprom) << created.message;
  EXPECT_EQ(*created.eeprom, Eeprom::Defaults());
  EXPECT_NE(created.message.find("new EEPROM file"), std::string::npos);
  EXPECT_EQ(ParseEepromText(ReadFile(path)).eeprom, Eeprom::Defaults());

  Eeprom changed = Eeprom::Defaults();
  const std::uint8_t address[] = {5};
  changed.Write(kAddressByte, address);
  ASSERT_FALSE(SaveEepromFile(path, changed));
  const EepromLoad kept = LoadEepromFile(path);
  ASSERT_TRUE(kept.eeprom);
  EXPECT_EQ(kept.eeprom->ModbusAddress(), 5);
  EXPECT_TRUE(kept.message.empty());

  // A damaged file is not overwritten unseen: it moves to .bad, defaults take its place.
  WriteFile(path, "00: 01 02\n");
  const EepromLoad rescued = LoadEepromFile(path);
  ASSERT_TRUE(rescued.eeprom);
  EXPECT_EQ(*rescued.eeprom, Eeprom::Defaults());
  EXPECT_NE(rescued.message.find("the parameter at 02 is missing, and 47 more"), std::string::npos)
      << rescued.message;
  EXPECT_EQ(ReadFile(dir / "eeprom.txt.bad"), "00: 01 02\n");
  EXPECT_EQ(ParseEepromText(ReadFile(path)).eeprom, Eeprom::Defaults());

  WriteFile(path, "");
  const EepromLoad empty = LoadEepromFile(path);
  ASSERT_TRUE(empty.eeprom) << empty.message;
  EXPECT_NE(empty.message.find("no parameters at all"), std::string::npos) << empty.message;

  // Something that is no file at all stops the start instead.
  EXPECT_FALSE(LoadEepromFile(dir.Path()).eeprom);
}

}  // namespace
}  // namespace torvex::sim
