#include <gtest/gtest.h>

#include <ostream>

#include "platform/port_mode.h"

namespace torvex {

void PrintTo(const PortMode& m, std::ostream* os) {
  *os << "{" << m.speed << ", parity " << static_cast<int>(m.parity) << ", " << m.dataBits
      << " data, stop " << static_cast<int>(m.stopBits) << "}";
}

namespace {

TEST(ParsePortMode, ReadsValidModes) {
  struct Case {
    QString text;
    PortMode mode;
  };
  const Case cases[] = {
      {"9600,n,8,2", {9600, Parity::None, 8, StopBits::Two}},
      {"115200,E,7,1", {115200, Parity::Even, 7, StopBits::One}},
      {" 19200 , o ,8, 1 ", {19200, Parity::Odd, 8, StopBits::One}},
      {"\t57600,M,6,2", {57600, Parity::Mark, 6, StopBits::Two}},
      {"110,s,8,1", {110, Parity::Space, 8, StopBits::One}},
      {"921600,n,8,1", {921600, Parity::None, 8, StopBits::One}},
      {"256000,n,8,1", {256000, Parity::None, 8, StopBits::One}},
      {"14400,n,8,1", {14400, Parity::None, 8, StopBits::One}},
      {"28800,n,8,1", {28800, Parity::None, 8, StopBits::One}},
      {"1200,n,5,1.5", {1200, Parity::None, 5, StopBits::OneAndHalf}},
      {"1200,e,5,1", {1200, Parity::Even, 5, StopBits::One}},
      {"009600,n,8,1", {9600, Parity::None, 8, StopBits::One}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParsePortMode(c.text), c.mode) << c.text.toStdString();
  }
}

TEST(ParsePortMode, RefusesEverythingElse) {
  const QString cases[] = {
      "", " ", ",,,", "9600", "9600,n,8", "9600,n,8,2,", "9600,n,8,2,1", "9600;n;8;2",
      // speed
      "0,n,8,1", "-9600,n,8,1", "+9600,n,8,1", "9601,n,8,1", "12345,n,8,1", "9600.0,n,8,1",
      "96 00,n,8,1", "1e4,n,8,1", "99999999999999999999999,n,8,1", "9600000,n,8,1",
      "١٢٠٠,n,8,1",  // Arabic-Indic digits
      // parity
      "9600,x,8,1", "9600,,8,1", "9600,no,8,1", "9600,н,8,1", "9600,0,8,1",
      // data bits
      "9600,n,4,1", "9600,n,9,1", "9600,n,08,1", "9600,n,,1",
      // stop bits
      "9600,n,8,0", "9600,n,8,3", "9600,n,8,1.0", "9600,n,8,1,5", "9600,n,8,1.5", "1200,n,5,2",
      // junk
      QString("9600,n,8,1") + QChar(0), QString(QChar(0)), "9600,n,8,2\n\x01", QString(5000, ','),
  };
  for (const auto& text : cases) {
    EXPECT_EQ(ParsePortMode(text), std::nullopt) << text.toStdString();
  }
}

}  // namespace
}  // namespace torvex
