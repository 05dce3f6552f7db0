// The names under /dev/serial/by-id that stay the same in any USB socket, found in a folder of
// links made for the test.
#include "platform/qt_adapter_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QTemporaryDir>

#include "support/qt_printers.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

TEST(ByIdNames, EachDeviceWithTheNameThatLeadsToIt) {
  QTemporaryDir dir;
  const fs::path root = dir.path().toStdString();
  fs::create_directory(root / "by-id");
  std::ofstream(root / "ttyUSB0") << "";
  fs::create_symlink("../ttyUSB0", root / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  fs::create_symlink(root / "gone", root / "by-id" / "usb-unplugged");
  const auto names = ByIdNames(QString::fromStdString((root / "by-id").string()));
  ASSERT_EQ(names.size(), 1) << "a name that leads nowhere names no device";
  EXPECT_EQ(names.value(QString::fromStdString((root / "ttyUSB0").string())),
            QString::fromStdString((root / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string()));
  EXPECT_TRUE(ByIdNames(dir.path() + "/none").isEmpty());
}

}  // namespace
}  // namespace torvex
