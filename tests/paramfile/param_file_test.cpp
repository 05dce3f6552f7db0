#include "paramfile/param_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace torvex::paramfile {
namespace {

// Every byte different, so a byte in the wrong place shows.
ParamImage Counting() {
  ParamImage image{};
  std::iota(image.begin(), image.end(), std::uint8_t{1});
  image[96] = 12;
  return image;
}

const FileHeader kHeader{"2026-12-11 10:15:00", "torvex-tp 1.4.0", 7, "2.14", "1.05", ""};

TEST(ParamFile, ExplainsItselfAndRoundTripsByteForByte) {
  ParamImage image = Counting();
  image[0] = 0xFF;
  image[1] = 0xFB;  // -0.5
  const std::string text = FormatParamFile(image, kHeader);
  for (const char* line : {"# Сохранено: 2026-12-11 10:15:00 (torvex-tp 1.4.0)\n",
                           "# Контроллер: адрес 7, версия ПО 2.14, версия протокола 1.05\n",
                           "\n00: FF FB    # AIN1 Pt100, точка 1 = -0.5\n",
                           "\n0E: 0F 10    # AIN1 4-20мА, точка 2 = 385.6\n",
                           "\n10: 11 12    # AIN1. Тип датчика, вход 0 = 4370\n",
                           "\n30: 31 32    # AIN2 Pt100, точка 1 = 1259.4\n",
                           "\n60: 0C       # Адрес Modbus = 12\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
  }
  const ParamFileParse parsed = ParseParamFile(text);
  ASSERT_TRUE(parsed.image) << FaultText(parsed.error);
  EXPECT_EQ(*parsed.image, image);
  EXPECT_EQ(FormatParamFile(*parsed.image, kHeader), text);
  // A header says only what is known.
  EXPECT_EQ(FormatParamFile(image, {}).find("# Контроллер"), std::string::npos);
}

// The unit's serial number is a comment of the header: a file with it reads as before, in the
// tool and in the simulator, and nothing in it can make a line of parameters.
TEST(ParamFile, TheUnitsSerialNumberIsAHeaderLineThatReadersPassOver) {
  const ParamImage image = Counting();
  FileHeader header = kHeader;
  header.unitSerial = "ТВ-0421";
  const std::string text = FormatParamFile(image, header);
  EXPECT_NE(text.find("\n# Заводской номер: ТВ-0421\n"), std::string::npos) << text;
  EXPECT_EQ(FormatParamFile(image, kHeader).find("Заводской номер"), std::string::npos);
  for (const ParseRules rules : {ParseRules{}, ParseRules{.answerableAddress = false}}) {
    const ParamFileParse parsed = ParseParamFile(text, rules);
    ASSERT_TRUE(parsed.image) << FaultText(parsed.error);
    EXPECT_EQ(*parsed.image, image);
  }

  header.unitSerial = "0421\n60: 01\r61: 02";
  const std::string forged = FormatParamFile(image, header);
  EXPECT_NE(forged.find("# Заводской номер: 0421 60: 01 61: 02\n"), std::string::npos) << forged;
  const ParamFileParse parsed = ParseParamFile(forged);
  ASSERT_TRUE(parsed.image) << FaultText(parsed.error);
  EXPECT_EQ(*parsed.image, image);
}

TEST(ParamFile, ReadsWhatAPersonMayWrite) {
  // Any order, comments and blank lines anywhere, CR LF, small letters, and several whole
  // parameters on one line.
  std::string text = "\xEF\xBB\xBF# written by hand\r\n\r\n60 : 0c   # the address\r\n";
  for (int i = 47; i >= 2; --i) {
    text += HexAddress(2 * i) + ": " + HexAddress(Counting()[2 * i]) + " " +
            HexAddress(Counting()[2 * i + 1]) + "\r\n";
  }
  text += "\t00: 01 02 03 04\n";
  const ParamFileParse parsed = ParseParamFile(text);
  ASSERT_TRUE(parsed.image) << parsed.error.line << ": " << FaultText(parsed.error);
  EXPECT_EQ(*parsed.image, Counting());
}

// A lone CR ends a line too (old Mac editors save so): the file is read, and a fault in it is
// found on its own line rather than the whole file being one comment.
TEST(ParamFile, LinesEndedByALoneCRAreLines) {
  std::string text = FormatParamFile(Counting(), kHeader);
  std::replace(text.begin(), text.end(), '\n', '\r');
  const ParamFileParse parsed = ParseParamFile(text);
  ASSERT_TRUE(parsed.image) << parsed.error.line << ": " << FaultText(parsed.error);
  EXPECT_EQ(*parsed.image, Counting());

  text.replace(text.find("02: 03 04"), 9, "02: 03 4");
  EXPECT_EQ(ParseParamFile(text).error.line, 7);
}

TEST(ParamFile, RefusesADamagedFileWholeWithTheLineAndWhatIsWrong) {
  const std::string good = FormatParamFile(Counting(), {});
  const std::size_t header = 3;  // comment lines before the first parameter
  auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  struct Case {
    std::string text;
    int line;
    std::string says;
  };
  const Case cases[] = {
      {"", 0, "в файле нет ни одного параметра"},
      {replaced("5E: 5F 60", "# 5E gone"), 0, "нет параметра «AIN2. Тип датчика, вход 15» (адрес 5E)"},
      {replaced("02: 03 04", "02 03 04"), header + 2, "ожидается «адрес: байты»"},
      {replaced("02: 03 04", "0x02: 03 04"), header + 2, "адрес «0x02» не шестнадцатеричное число"},
      {good + "61: 00\n", header + 50, "адрес 61 вне ЭСППЗУ (00-60)"},
      {replaced("02: 03 04", "03: 04"), header + 2, "с адреса 03 не начинается ни один параметр"},
      {replaced("02: 03 04", "02:"), header + 2, "после адреса 02 нет ни одного байта"},
      {replaced("02: 03 04", "02: 03 4"), header + 2, "«4» не байт в шестнадцатеричной записи"},
      {replaced("02: 03 04", "02: 03 G4"), header + 2, "«G4» не байт"},
      {replaced("60: 0C", "60: 0C 00"), header + 49, "байты выходят за конец ЭСППЗУ (60)"},
      {replaced("02: 03 04", "02: 03"), header + 2,
       "строка обрывается внутри параметра «AIN1 Pt100, точка 2»: 1 байт из 2"},
      {replaced("60: 0C", "60: 0C\n00: 01 02"), header + 50,
       "параметр «AIN1 Pt100, точка 1» уже задан в строке 4"},
      {replaced("60: 0C", "60: 00"), header + 49, "адрес Modbus 0 недопустим (1-247)"},
      {replaced("60: 0C", "60: F8"), header + 49, "адрес Modbus 248 недопустим (1-247)"},
      {std::string("\x01\x02\xFF: 00\n", 7), 1, "не шестнадцатеричное число"},
      {std::string(kMaxFileSize + 1, '#'), 0, "файл слишком велик"},
  };
  for (const Case& c : cases) {
    const ParamFileParse parsed = ParseParamFile(c.text);
    EXPECT_FALSE(parsed.image) << c.says;
    EXPECT_EQ(parsed.error.line, c.line) << c.says;
    EXPECT_NE(FaultText(parsed.error).find(c.says), std::string::npos)
        << c.says << "\ngot: " << FaultText(parsed.error);
  }
}

TEST(ParamFile, AnUnanswerableSlaveAddressIsKeptWhereAskedFor) {
  std::string text = FormatParamFile(Counting(), {});
  text.replace(text.find("60: 0C"), 6, "60: 00");
  EXPECT_FALSE(ParseParamFile(text).image);
  const ParamFileParse kept = ParseParamFile(text, {.answerableAddress = false});
  ASSERT_TRUE(kept.image);
  EXPECT_EQ((*kept.image)[96], 0);
}

TEST(ParamLayout, ValuesReadAsTheBoxesShowThem) {
  struct Case {
    int index;
    std::int32_t raw;
    const char* text;
  };
  const Case cases[] = {{0, 123, "12.3"}, {0, 120, "12"},        {1, -5, "-0.5"},
                        {31, 0, "0"},     {8, 3, "3 (Pt1000)"},  {47, 0, "0 (отключен)"},
                        {9, 6, "6"},      {10, -1, "-1"},        {48, 255, "255"}};
  for (const Case& c : cases) EXPECT_EQ(ValueText(c.raw, c.index), c.text) << c.index << " " << c.raw;
  EXPECT_EQ(Caption(7), "AIN1 4-20мА, точка 2");
  EXPECT_EQ(Caption(28), "AIN2 ТХА, точка 1");
  EXPECT_EQ(ParamStartingAt(96), 48);
  EXPECT_EQ(ParamStartingAt(95), -1);
  EXPECT_EQ(ParamStartingAt(98), -1);
  ParamImage other = Counting();
  other[1] ^= 1;
  other[96] = 7;
  EXPECT_EQ(Differences(Counting(), other), (std::vector<int>{0, 48}));
}

}  // namespace
}  // namespace torvex::paramfile
