#include <gtest/gtest.h>

#include <fstream>

#include "platform/port_path.h"
#include "support/pty.h"

namespace torvex {
namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

TEST(PortDevicePath, PrefersTheEntryInPortsEvenIfItIsDangling) {
  test::ProgramDir dir;
  dir.Bind(3, "/dev/null");
  dir.Bind(4, (std::filesystem::path(dir.Path().toStdString()) / "gone").string());
  std::ofstream(dir.LinkPath(5)) << "";  // a plain file counts too

  EXPECT_EQ(PortDevicePath(dir.Path(), 3), Q(dir.LinkPath(3)));
  EXPECT_EQ(PortDevicePath(dir.Path(), 4), Q(dir.LinkPath(4)));
  EXPECT_EQ(PortDevicePath(dir.Path(), 5), Q(dir.LinkPath(5)));
}

TEST(PortDevicePath, FallsBackToTheBuiltInPortsAndRefusesBadNumbers) {
  test::ProgramDir dir;
  EXPECT_EQ(PortDevicePath(dir.Path(), 1), "/dev/ttyS0");
  EXPECT_EQ(PortDevicePath(dir.Path(), 255), "/dev/ttyS254");
  EXPECT_EQ(PortDevicePath(dir.Path() + "/missing", 2), "/dev/ttyS1");
  for (int bad : {0, -1, 256, 1000}) EXPECT_EQ(PortDevicePath(dir.Path(), bad), std::nullopt);
}

}  // namespace
}  // namespace torvex
