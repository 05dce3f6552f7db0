#include "platform/port_bindings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QTemporaryDir>

#include "platform/port_path.h"
#include "support/result_printer.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

class Bindings : public ::testing::Test {
 protected:
  fs::path Root() const { return dir.path().toStdString(); }
  fs::path Ports() const { return Root() / "ports"; }

  QTemporaryDir dir;
  PortBindings bindings{dir.path()};
};

TEST_F(Bindings, BindListReplaceAndUnbindOnTheFileSystem) {
  const fs::path device = Root() / "ttyUSB0";
  std::ofstream(device) << "";
  EXPECT_TRUE(bindings.List().empty()) << "no ports/ yet";
  EXPECT_EQ(bindings.FirstFree(1, 16), 1);

  // The first binding creates ports/.
  ASSERT_EQ(bindings.Bind(3, QString::fromStdString(device.string())), Result());
  ASSERT_EQ(bindings.Bind(1, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
            Result());
  EXPECT_EQ(fs::read_symlink(Ports() / "com3"), device);
  // What the port layer opens as COM3 is the new link.
  EXPECT_EQ(PortDevicePath(dir.path(), 3), QString::fromStdString((Ports() / "com3").string()));
  EXPECT_EQ(bindings.List(),
            (std::vector<PortBinding>{
                {1, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", ""},
                {3, QString::fromStdString(device.string()), QString::fromStdString(device.string())}}))
      << "an adapter that is not plugged in has no device";
  EXPECT_EQ(bindings.FirstFree(1, 16), 2);

  ASSERT_EQ(bindings.Bind(3, "/dev/ttyUSB1"), Result());  // rebinding replaces in one step
  EXPECT_EQ(fs::read_symlink(Ports() / "com3"), "/dev/ttyUSB1");
  EXPECT_EQ(std::distance(fs::directory_iterator(Ports()), fs::directory_iterator()), 2)
      << "no temporary link left behind";

  EXPECT_EQ(bindings.Unbind(3), Result());
  EXPECT_EQ(bindings.Unbind(3), Result());  // already gone: nothing
  EXPECT_FALSE(fs::is_symlink(Ports() / "com3"));
  EXPECT_EQ(bindings.List().size(), 1u);
  EXPECT_TRUE(fs::exists(device)) << "unbinding removes the link, never its device";
}

// What went wrong, as the binding window shows it after "Не удалось привязать COMn: ".
QString Refusal(const Result& result) { return result ? "<done>" : result.Why(); }

// Refusals name the path and the reason in the window's language.
TEST_F(Bindings, WhatIsNotALinkIsNeitherReplacedNorRemoved) {
  fs::create_directory(Ports());
  std::ofstream(Ports() / "com2") << "someone's notes";
  const QString com2 = QString::fromStdString((Ports() / "com2").string());
  EXPECT_EQ(Refusal(bindings.Bind(2, "/dev/ttyUSB0")),
            com2 + " не является ссылкой (это файл или папка); программа его не заменяет");
  EXPECT_EQ(Refusal(bindings.Unbind(2)),
            com2 + " не является ссылкой (это файл или папка); программа его не удаляет");
  EXPECT_TRUE(fs::is_regular_file(Ports() / "com2"));
  EXPECT_EQ(bindings.FirstFree(2, 3), 3) << "an entry of any kind takes its number";
  for (int bad : {0, 256}) EXPECT_FALSE(bindings.Bind(bad, "/dev/ttyUSB0"));
  EXPECT_FALSE(bindings.Bind(4, ""));

  // A settings folder where nothing can be created: ports/ is a plain file.
  QTemporaryDir other;
  std::ofstream(fs::path(other.path().toStdString()) / "ports") << "";
  EXPECT_EQ(Refusal(PortBindings(other.path()).Bind(1, "/dev/ttyUSB0")),
            "не удалось создать папку " + other.path() + "/ports: на её месте файл");
}

}  // namespace
}  // namespace torvex
