// The tool as the program a user starts (build/bin/torvex-tp on the offscreen platform): what it
// leaves on the port when the system ends it.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "platform/port_holder.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/wait_for.h"

namespace torvex {
namespace {

// Whether the device is claimed for one program alone (TIOCEXCL): root may still open it and
// ask, anyone else is refused.
bool Claimed(const QString& device) {
  const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == EBUSY;
  int exclusive = 0;
  const bool asked = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0;
  ::close(fd);
  return asked && exclusive != 0;
}

bool Locked(const QString& device) {
  for (const QString& dir : DefaultLockDirs()) {
    if (QFile::exists(dir + u'/' + LockFileName(device))) return true;
  }
  return false;
}

// The test keeps the terminal open the whole time, as a simulator or a second program on an
// adapter does: a claim left by the tool would outlive it and keep the next start out. (The
// simulator itself clears a claim half a second after the traffic stops, which would hide it.)
TEST(ToolProcess, SigtermEndsItCleanlyAndTheNextStartGetsThePort) {
  test::ProgramDir dir;
  dir.BindOthersToNowhere();
  test::Pty line;
  dir.Bind(1, line.SlavePath());
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini", "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
  const QString device = line.SlaveQPath();

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  for (const char* start : {"the first start", "the next start"}) {
    SCOPED_TRACE(start);
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(TORVEX_TP_PROGRAM, {"--config", dir.Path()});
    // Its first request on the line: the port is open and the exchange runs.
    std::vector<std::uint8_t> request;
    ASSERT_TRUE(test::WaitFor([&] {
      const auto got = line.Read(8, std::chrono::milliseconds(50));
      request.insert(request.end(), got.begin(), got.end());
      return !request.empty() || tool.state() == QProcess::NotRunning;
    }, 20000));
    ASSERT_EQ(tool.state(), QProcess::Running) << tool.readAllStandardError().toStdString();
    EXPECT_TRUE(Claimed(device)) << "the port is the tool's alone while it runs";
    EXPECT_TRUE(Locked(device));

    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_FALSE(Claimed(device)) << "the exclusive claim went with the tool";
    EXPECT_FALSE(Locked(device)) << "so did its lock file";
  }
}

}  // namespace
}  // namespace torvex
