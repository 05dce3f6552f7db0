#include "platform/port_holder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "support/child_process.h"
#include "support/holding_child.h"
#include "support/pty.h"

namespace torvex {
namespace {

TEST(PortHolder, LockFileNames) {
  EXPECT_EQ(LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
  EXPECT_EQ(LockFileName("/dev/pts/3"), "LCK..pts_3");
}

// A lock file names a holder only while its process lives; once the process is gone the file is
// stale, whoever wrote it. Another user's live process (one this user may not signal) holds.
TEST(PortHolder, TheLockFileTellsTheLiveProcessNumberOrThatItIsStale) {
  test::HoldingChild other([] { return true; });
  ASSERT_TRUE(other.Ready());
  const QByteArray pid = QByteArray::number(other.Pid());
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);

  struct Case {
    const char* what;
    QByteArray contents;
    std::int64_t holder;  // 0: none
    std::int64_t stale;   // the ended process it names; 0: not stale
  } const cases[] = {
      {"Qt's lock: number, program, host", pid + "\nminicom\nbench-pc\n", other.Pid(), 0},
      {"UUCP's lock: the number in ten places", QByteArray(10 - pid.size(), ' ') + pid + "\n", other.Pid(), 0},
      {"a process that has ended", QByteArray::number(ended) + "\ntorvex-tp\nbench-pc\n", 0, ended},
      {"this process itself", QByteArray::number(::getpid()) + "\n", 0, 0},
      {"not a number", "x\n", 0, 0},
  };
  for (const Case& c : cases) {
    QTemporaryDir locks;
    QFile file(locks.path() + "/LCK..ttyUSB0");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.contents);
    file.close();
    const QStringList dirs{locks.path() + "/none", locks.path()};
    const auto holder = LockFileHolder("/dev/ttyUSB0", dirs);
    EXPECT_EQ(holder ? holder->pid : 0, c.holder) << c.what;
    const auto stale = StaleLockFile("/dev/ttyUSB0", dirs);
    EXPECT_EQ(stale ? stale->pid : 0, c.stale) << c.what;
    if (stale) {
      EXPECT_EQ(stale->path, file.fileName());
    }
  }

  // Seen by nobody, root's live process 1 cannot be signalled (EPERM), and still holds.
  QTemporaryDir locks;
  ASSERT_EQ(::chmod(QFile::encodeName(locks.path()).constData(), 0755), 0);
  QFile file(locks.path() + "/LCK..ttyUSB0");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("1\n");
  file.close();
  const int verdict = test::RunInChild(
      [&] {
        const auto holder = LockFileHolder("/dev/ttyUSB0", {locks.path()});
        if (!holder || holder->pid != 1) return 1;
        return StaleLockFile("/dev/ttyUSB0", {locks.path()}) ? 2 : 0;
      },
      /*asOtherUser=*/true);
  EXPECT_EQ(verdict, 0);
}

TEST(PortHolder, AProcessWithTheDeviceOpenIsFoundButNotThePseudoTerminalsOwner) {
  test::Pty pty;
  const QString device = pty.SlaveQPath();
  EXPECT_EQ(ProcessHolding(device), std::nullopt) << "this process holds it, and does not count";

  // A program that opens the device without a lock, as cat or a script would.
  {
    test::HoldingChild plain(
        [&] { return ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY) >= 0; });
    ASSERT_TRUE(plain.Ready());
    const auto holder = ProcessHolding(device);
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, plain.Pid());
    EXPECT_EQ(holder->program, ProgramOf(plain.Pid()));
    EXPECT_FALSE(holder->program.isEmpty());
  }

  // A program that owns a pseudo-terminal, as the simulator does: it holds the master and keeps
  // the terminal itself open so that the line stays up. That is its own line, not a competitor.
  std::string ownedPath;
  int pathPipe[2];
  ASSERT_EQ(::pipe(pathPipe), 0);
  test::HoldingChild owner([&] {
    int master = -1;
    int slave = -1;
    char name[128];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    return ::write(pathPipe[1], name, sizeof name) == static_cast<ssize_t>(sizeof name);
  }, {pathPipe[1]});
  ASSERT_TRUE(owner.Ready());
  char name[128] = {};
  ASSERT_EQ(::read(pathPipe[0], name, sizeof name), static_cast<ssize_t>(sizeof name));
  ::close(pathPipe[0]);
  ::close(pathPipe[1]);
  EXPECT_EQ(ProcessHolding(QString::fromLocal8Bit(name)), std::nullopt) << name;
}

}  // namespace
}  // namespace torvex
