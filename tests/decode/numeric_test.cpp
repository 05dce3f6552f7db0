#include "decode/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "default_locale.h"

namespace torvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

RxBuffer Cells(const std::vector<int>& bytes, int at = 0) {
  RxBuffer rx{};
  for (int b : bytes) rx[static_cast<std::size_t>(at++)] = b;
  return rx;
}

TEST(RxReaders, WordsAreBigEndianAndSignedOnlyWhereAsked) {
  const RxBuffer rx = Cells({0xFF, 0xFE, 0x80, 0x00, 0x7F, 0xFF});
  EXPECT_EQ(RxWord(rx, 0), 65534);
  EXPECT_EQ(RxSignedWord(rx, 0), -2);
  EXPECT_EQ(RxSignedWord(rx, 2), -32768);
  EXPECT_EQ(RxSignedWord(rx, 4), 32767);
  EXPECT_EQ(RegisterIndex(0), 3);
  EXPECT_EQ(RegisterIndex(49), 101);

  struct Case { std::vector<int> cells; double value; };
  for (const Case& c : std::vector<Case>{{{0x00, 0x01, 0x00, 0x00}, 65536.0},
                                         {{0x80, 0x00, 0x00, 0x00}, 2147483648.0},
                                         {{0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0}}) {
    EXPECT_EQ(RxDWord(Cells(c.cells, 10), 10), c.value);
  }
}

TEST(RxReaders, IntegerOfNBytes) {
  struct Case { std::vector<int> cells; int n; int value; };
  for (const Case& c : std::vector<Case>{{{0x80, 0x00}, 2, -32768},
                                         {{0x7F, 0xFF}, 2, 32767},
                                         {{0xFF}, 1, 255},
                                         {{0xFF, 0xFF, 0xFF}, 3, 16777215},
                                         {{0x12, 0x34, 0x56, 0x78}, 4, 0x12345678},
                                         {{0xFF, 0xFF, 0xFF, 0xFE}, 4, -2},  // low 32 bits
                                         {{0x55}, 0, 0}}) {
    EXPECT_EQ(RxInteger(Cells(c.cells, 7), 7, c.n), c.value) << "n=" << c.n;
  }
}

TEST(RxReaders, CellCountsAsOneByte) {
  EXPECT_EQ(RxWord(Cells({0x1AB, -1}), 0), 0xABFF);
}

TEST(RxReaders, ReadingOutsideTheBufferIsCaught) {
  const RxBuffer rx{};
  EXPECT_EQ(RxWord(rx, 259), 0);
  EXPECT_EQ(RxDWord(rx, 257), 0);
  EXPECT_THROW(RxWord(rx, 260), std::out_of_range);
  EXPECT_THROW(RxWord(rx, -1), std::out_of_range);
  EXPECT_THROW(RxDWord(rx, 258), std::out_of_range);
  EXPECT_THROW(RxInteger(rx, 259, 3), std::out_of_range);
  EXPECT_THROW(RxWord(rx, kMax32), std::out_of_range);
}

TEST(GetByte, SplitsTheTwosComplementForm) {
  struct Case { std::int32_t value; int n; int byte; };
  for (const Case& c : std::vector<Case>{{3000, 0, 184},
                                         {3000, 1, 11},
                                         {0x12345678, 2, 0x34},
                                         {0x7F000000, 3, 127},
                                         {-1, 3, 255},
                                         {kMin32, 3, 128},
                                         {-2, 0, 254},
                                         {-1, 4, 0},
                                         {0x12345678, 4, 0},
                                         {-1, -1, 0}}) {
    EXPECT_EQ(GetByte(c.value, c.n), c.byte) << c.value << " byte " << c.n;
  }
}

struct ReadingCase {
  double value;
  int decimals;
  double scale;
  const char* unit;
  const char* russian;
  const char* english;
};

TEST(FormatReading, RoundsTiesToEvenOnCleanDigitsAndUsesTheLocaleSeparator) {
  const std::vector<ReadingCase> cases{
      {235, 1, 0.1, "°C", "23,5 °C", "23.5 °C"},  // 23.500000000000004
      {230, 1, 0.1, "°C", "23 °C", "23 °C"},
      {1234, 2, 0.1, "", "123,4 ", "123.4 "},
      {10050, 2, 0.01, "Ом", "100,5 Ом", "100.5 Ом"},
      {1001, 3, 0.002, "мВ", "2,002 мВ", "2.002 мВ"},
      {5000, 2, 0.01, "%", "50 %", "50 %"},
      {12000, 3, 0.001, "мА", "12 мА", "12 мА"},
      {65536, 1, 1, "Гц", "65536 Гц", "65536 Гц"},  // never grouped
      {4294967295.0, 1, 1, "Гц", "4294967295 Гц", "4294967295 Гц"},
      {1e20, 0, 1, "", "100000000000000000000 ", "100000000000000000000 "},
      {-1, 10, 0.5, "°C", "-0,5 °C", "-0.5 °C"},
      {0, 10, 0.5, "°C", "0 °C", "0 °C"},
      {5, 0, 1, "", "5 ", "5 "},
      // Ties go to the even digit, judged on 15 significant digits.
      {25, 0, 0.1, "", "2 ", "2 "},
      {35, 0, 0.1, "", "4 ", "4 "},
      {-25, 0, 0.1, "", "-2 ", "-2 "},
      {125, 2, 0.001, "", "0,12 ", "0.12 "},
      {2675, 2, 0.001, "", "2,68 ", "2.68 "},  // 2.67499999... in binary
      {5, 2, 0.001, "", "0 ", "0 "},
      {7, 2, 0.001, "", "0,01 ", "0.01 "},
      {-4, 0, 0.1, "", "0 ", "0 "},  // never "-0"
      {995, 0, 0.1, "", "100 ", "100 "},
      {9999, 1, 0.01, "", "100 ", "100 "},
      {1, 10, 0.0001, "", "0,0001 ", "0.0001 "},
      {1, 20, 1.0 / 3.0, "", "0,333333333333333 ", "0.333333333333333 "},
      {-1234567, 1, 0.1, "", "-123456,7 ", "-123456.7 "},
  };
  for (auto [language, russian] : {std::pair{QLocale::Russian, true},
                                   std::pair{QLocale::English, false}}) {
    test::DefaultLocale locale(language);
    for (const ReadingCase& c : cases) {
      EXPECT_EQ(FormatReading(c.value, c.decimals, c.scale, QString::fromUtf8(c.unit)),
                QString::fromUtf8(russian ? c.russian : c.english))
          << c.value << " x " << c.scale << ", " << c.decimals << " decimals";
    }
  }
}

TEST(FormatHex, PadsNonNegativeValuesAndNeverTruncates) {
  struct Case { std::int64_t value; int digits; const char* text; };
  for (const Case& c : std::vector<Case>{{0x0201, 4, "0201"},
                                         {0, 4, "0000"},
                                         {0, 0, "0"},
                                         {0xFFFF, 4, "FFFF"},
                                         {0xab, 10, "00000000AB"},
                                         {0x12345, 4, "12345"},
                                         {0x80000000LL, 4, "80000000"},
                                         {0xFFFFFFFFLL, 4, "FFFFFFFF"},
                                         {0x100000000LL, 4, "100000000"},
                                         {-1, 4, "FFFFFFFF"},
                                         {-2, 10, "FFFFFFFE"},
                                         {std::numeric_limits<std::int64_t>::min(), 4,
                                          "8000000000000000"}}) {
    EXPECT_EQ(FormatHex(c.value, c.digits), QString::fromLatin1(c.text)) << c.value;
  }
}

TEST(ParseNumber, ReadsWhatTheOperatorMeant) {
  struct Case { QString text; double value; };
  const std::vector<Case> cases{
      {"12,5", 12.5},    {"12.5", 12.5},  {"50%", 50},       {"1,5 %", 1.5},
      {"", 0},           {"abc", 0},      {" 7 ", 7},        {"1 2", 12},
      {"1,2,3", 1.2},    {"-3,5", -3.5},  {"&H1F", 31},      {"2E3", 2000},
      {"&HFFFF", 65535}, {"&o17", 15},    {"&O8", 0},        {"&h", 0},
      {"&X1", 0},        {"1.5.3", 1.5},  {"\t-\n2", -2},    {"1e", 1},
      {"1E+", 1},        {"2d-1", 0.2},   {".5", 0.5},       {"-", 0},
      {"+4", 4},         {"%5", 0},       {"5%,3", 5},       {"12,5\r9", 12.5},
      {"0x10", 0},       {"007", 7},      {"1e400", kInf},   {"-1e400", -kInf},
      {"1e-400", 0},     {"1E99999999999999999999999", kInf},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseNumber(c.text), c.value) << c.text.toStdString();
}

TEST(ParseNumber, SurvivesThousandsOfDigits) {
  EXPECT_EQ(ParseNumber(QString(5000, u'9')), kInf);
  EXPECT_EQ(ParseNumber("1" + QString(300, u'0')), 1e300);
  EXPECT_EQ(ParseNumber("0," + QString(5000, u'0') + "1e5000"), 0.1);
  EXPECT_EQ(ParseNumber("&H" + QString(5000, u'F')), kInf);
}

TEST(RoundHalfAway, HalvesAwayFromZeroBeyondFloatingNoise) {
  struct Case { double x; std::int32_t value; };
  for (const Case& c : std::vector<Case>{{2.5, 3},
                                         {-2.5, -3},
                                         {0.5, 1},
                                         {-0.5, -1},
                                         {0.49, 0},
                                         {-0.49, 0},
                                         {0, 0},
                                         {1.4999, 1},
                                         {12.35 / 0.1, 124},  // 123.49999999999999
                                         {12.34 / 0.1, 123},
                                         {2147483646.6, kMax32},
                                         {-2147483647.6, kMin32},
                                         {1e12, kMax32},  // saturates
                                         {-kInf, kMin32},
                                         {std::nan(""), 0}}) {
    EXPECT_EQ(RoundHalfAway(c.x), c.value) << c.x;
  }
}

TEST(TextToRaw, ScalesRoundsAndClamps) {
  struct Case { const char* text; std::int32_t min, max; double offset, scale; std::int32_t raw; };
  const std::vector<Case> cases{
      {"12,34", 0, 255, 0, 0.1, 123},
      {"12,35", 0, 255, 0, 0.1, 124},
      {"12,35 %", 0, 255, 0, 0.1, 124},  // a box's text with its unit
      {"300", 0, 255, 0, 1, 255},
      {"-5", 0, 255, 0, 0.1, 0},
      {"", 10, 20, 0, 1, 10},
      // 4-20 mA outputs
      {"20", 0, 65535, 4, 0.00024414, 65535},
      {"4", 0, 65535, 4, 0.00024414, 0},
      {"12", 0, 65535, 4, 0.00024414, 32768},
      // 0-10 V outputs
      {"10", 0, 4095, 0, 0.002442, 4095},
      {"5", 0, 4095, 0, 0.002442, 2048},
      {"11", 0, 4095, 0, 0.002442, 4095},
      // Beyond the 32-bit range: bounded like any other out-of-range entry.
      {"1E12", -100, 100, 0, 1, 100},
      {"-1E12", -100, 100, 0, 1, -100},
      {"3000000000", 0, 65535, 0, 1, 65535},
      {"1e400", 0, 255, 0, 0.1, 255},
      {"-1e400", 0, 255, 0, 0.1, 0},
      {"3000000000", kMin32, kMax32, 0, 1, kMax32},
      {"-3000000000", kMin32, kMax32, 0, 1, kMin32},
      {"2147483647", kMin32, kMax32, 0, 1, kMax32},
      {"-2147483648", kMin32, kMax32, 0, 1, kMin32},
      {"-2147483647,4", kMin32, kMax32, 0, 1, -2147483647},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextToRawOffset(c.text, c.min, c.max, c.offset, c.scale), c.raw) << c.text;
    if (c.offset == 0) {
      EXPECT_EQ(TextToRaw(c.text, c.min, c.max, c.scale), c.raw) << c.text;
    }
  }
}

// What the tool shows in a parameter box, it reads back as the same raw value, whatever the
// locale.
TEST(TextToRaw, ReadsBackWhatFormatReadingWrote) {
  for (auto language : {QLocale::Russian, QLocale::English}) {
    test::DefaultLocale locale(language);
    for (std::int32_t raw : {0, 1, 5, 15, 235, -1, -32768, 32767, 65535}) {
      const QString tenths = FormatReading(raw, 1, 0.1, "°C");
      EXPECT_EQ(TextToRaw(tenths, -32768, 65535, 0.1), raw) << tenths.toStdString();
      const QString fine = FormatReading(raw, 3, 0.002, "");
      EXPECT_EQ(TextToRaw(fine, -32768, 65535, 0.002), raw) << fine.toStdString();
    }
  }
}

}  // namespace
}  // namespace torvex
