#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>

#include <fstream>
#include <functional>
#include <thread>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSerialPort>
#include <QSysInfo>
#include <QTimer>

#include "platform/port_holder.h"
#include "platform/qt_serial_port.h"
#include "support/child_process.h"
#include "support/holding_child.h"
#include "support/pty.h"

namespace torvex {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Runs the event loop, asleep between events, as the real program does between ticks.
void RunEventLoop(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, &loop, &QEventLoop::quit);
  loop.exec();
}

bool RunEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout.count()) return false;
    RunEventLoop(10ms);
  }
  return true;
}

std::chrono::milliseconds CpuTime() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return std::chrono::milliseconds(t.tv_sec * 1000 + t.tv_nsec / 1'000'000);
}

std::optional<PortError::Kind> OpenError(SerialPort& port) {
  try {
    port.Open();
  } catch (const PortError& e) {
    return e.kind();
  }
  return std::nullopt;
}

// The fault of a failed opening; nullopt when it opened.
std::optional<PortError> OpenFailure(SerialPort& port) {
  try {
    port.Open();
  } catch (const PortError& e) {
    return e;
  }
  return std::nullopt;
}

speed_t OutSpeed(const test::Pty& pty) {
  const termios t = pty.Attributes();
  return cfgetospeed(&t);
}

// Bytes received by the port, after the event loop has delivered `count` of them.
Bytes Receive(QtSerialPort& port, std::size_t count) {
  RunEventLoopUntil([&] { return port.BytesWaiting() >= static_cast<int>(count); }, 2s);
  Bytes got;
  while (port.BytesWaiting() > 0) got.push_back(port.ReadByte());
  return got;
}

// Every byte value, then more, up to the longest answer a tick may hold.
Bytes Burst() {
  Bytes bytes(261);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(255 - i);
  return bytes;
}

// A port set to COM1 and "9600,n,8,1", COM1 bound to a fresh pseudo-terminal; not yet open.
class PortOnPty : public ::testing::Test {
 protected:
  PortOnPty() {
    dir.Bind(1, pty->SlavePath());
    port.SetSettings("9600,n,8,1");
    port.SetCommPort(1);
  }

  test::ProgramDir dir;
  std::unique_ptr<test::Pty> pty = std::make_unique<test::Pty>();
  QtSerialPort port{dir.Path()};
};

TEST_F(PortOnPty, CarriesBytesBothWaysExactly) {
  port.Open();
  ASSERT_TRUE(port.IsOpen());
  const Bytes burst = Burst();

  // No event loop runs here: the bytes must leave within the call.
  port.Write(burst);
  port.Write(Bytes{0x00, 0xFF});
  Bytes expected = burst;
  expected.insert(expected.end(), {0x00, 0xFF});
  EXPECT_EQ(pty->Read(expected.size(), 1s), expected);

  pty->Write(burst);
  EXPECT_EQ(Receive(port, burst.size()), burst);
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_EQ(port.ReadByte(), 0);
}

// A tick that comes late (the window busy) runs before the event loop has handed Qt what the
// device holds: the port takes it in itself, so the answer is there to be judged.
TEST_F(PortOnPty, BytesTheDeviceHoldsAreSeenWithoutTheEventLoop) {
  port.Open();
  const Bytes answer{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0xCA, 0x6D};
  pty->Write(answer);
  const auto until = std::chrono::steady_clock::now() + 2s;
  while (port.BytesWaiting() == 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(1ms);  // the terminal's own hand-over, no event loop
  }
  Bytes received;
  while (port.BytesWaiting() > 0) received.push_back(port.ReadByte());
  EXPECT_EQ(received, answer);
  EXPECT_TRUE(port.LastArrival().has_value());
}

TEST_F(PortOnPty, AppliesTheModeAtOpenAndAtOnceWhenOpen) {
  // What a pseudo-terminal keeps: speed, stop bits, PARODD and CMSPAR. Those still tell mark,
  // space and odd parity from the rest.
  constexpr tcflag_t kMask = PARODD | CMSPAR | CSTOPB;
  struct Case {
    const char* mode;
    speed_t speed;
    tcflag_t bits;
  };
  const Case cases[] = {
      {"115200,m,8,1", B115200, PARODD | CMSPAR},
      {"9600,e,7,2", B9600, CSTOPB},  // no mark or space left over
      {"57600,s,6,2", B57600, CMSPAR | CSTOPB},
      {"19200,O,8,1", B19200, PARODD},
      {"1200,e,5,1.5", B1200, CSTOPB},  // the long stop setting gives 1.5 with 5 data bits
  };
  termios leftOver = pty->Attributes();  // a program before us left space parity set
  leftOver.c_cflag |= CMSPAR;
  pty->SetAttributes(leftOver);

  port.SetSettings("2400,e,8,2");
  port.Open();
  EXPECT_EQ(OutSpeed(*pty), B2400);
  EXPECT_EQ(pty->Attributes().c_cflag & kMask, CSTOPB);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    port.SetSettings(c.mode);
    const termios t = pty->Attributes();
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & kMask, c.bits);
  }
}

TEST_F(PortOnPty, RefusesInvalidValuesAndKeepsWhatItHad) {
  port.Open();
  for (const char* bad : {"", "9600,x,8,1", "9600,n,8"}) {
    try {
      port.SetSettings(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const PortError& e) {
      EXPECT_EQ(e.kind(), PortError::Kind::InvalidValue) << bad;
    }
  }
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(OutSpeed(*pty), B9600);

  for (int bad : {0, -3, 256}) {
    try {
      port.SetCommPort(bad);
      ADD_FAILURE() << "accepted port " << bad;
    } catch (const PortError& e) {
      EXPECT_EQ(e.kind(), PortError::Kind::InvalidValue) << bad;
    }
  }
  port.Close();
  EXPECT_EQ(OpenError(port), std::nullopt) << "the last valid number and mode still hold";

  QtSerialPort noMode(dir.Path());
  noMode.SetCommPort(1);
  EXPECT_EQ(OpenError(noMode), PortError::Kind::InvalidValue);
  QtSerialPort noNumber(dir.Path());
  noNumber.SetSettings("9600,n,8,1");
  EXPECT_EQ(OpenError(noNumber), PortError::Kind::InvalidValue);
}

TEST_F(PortOnPty, MissingOrUnusableDevicesAreUnavailable) {
  dir.Bind(2, (std::filesystem::path(dir.Path().toStdString()) / "no-such-device").string());
  const auto plainFile = std::filesystem::path(dir.Path().toStdString()) / "plain";
  std::ofstream(plainFile) << "not a tty";
  dir.Bind(3, plainFile.string());

  for (int number : {2, 3}) {
    port.SetCommPort(number);
    EXPECT_EQ(OpenError(port), PortError::Kind::Unavailable) << "COM" << number;
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST_F(PortOnPty, APortHeldByAnotherProgramIsInUseUntilItIsLetGo) {
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    // Another Qt program holding the device under its own name, not through our link.
    QSerialPort other;
    other.setPortName(pty->SlaveQPath());
    const char ok = other.open(QIODevice::ReadWrite) ? '1' : '0';
    (void)::write(ready[1], &ok, 1);
    char dummy;
    (void)::read(release[0], &dummy, 1);  // returns when the parent closes its end
    other.close();
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(ok, '1');

  const auto failure = OpenFailure(port);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->kind(), PortError::Kind::InUse);
  ASSERT_TRUE(failure->fault().has_value());
  EXPECT_EQ(failure->fault()->reason, PortFault::Reason::InUse);
  EXPECT_EQ(failure->fault()->pid, child) << "the lock file names it";
  EXPECT_EQ(failure->fault()->device, pty->SlaveQPath());
  EXPECT_FALSE(port.IsOpen());

  ::close(release[1]);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(OpenError(port), std::nullopt);
}

TEST_F(PortOnPty, AFailedOpeningNamesTheDeviceAndWhatIsWrongWithIt) {
  const std::filesystem::path root = dir.Path().toStdString();
  // An adapter bound by its by-id name and not plugged in: udev has removed the name.
  const std::string byId = (root / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
  dir.Bind(2, byId);
  std::ofstream(root / "plain") << "not a tty";
  dir.Bind(3, (root / "plain").string());

  struct Case {
    int number;
    PortFault::Reason reason;
    std::string device;
  } const cases[] = {
      {2, PortFault::Reason::NoSuchDevice, byId},
      {3, PortFault::Reason::NotASerialPort, (root / "plain").string()},
  };
  for (const Case& c : cases) {
    port.SetCommPort(c.number);
    const auto failure = OpenFailure(port);
    ASSERT_TRUE(failure.has_value()) << "COM" << c.number;
    EXPECT_EQ(failure->kind(), PortError::Kind::Unavailable);
    ASSERT_TRUE(failure->fault().has_value());
    EXPECT_EQ(failure->fault()->reason, c.reason) << "COM" << c.number;
    EXPECT_EQ(failure->fault()->device.toStdString(), c.device);
  }
}

TEST_F(PortOnPty, AProgramHoldingThePortWithoutALockIsFoundAndThePortIsLeftToIt) {
  test::HoldingChild other([&] { return ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY) >= 0; });
  ASSERT_TRUE(other.Ready());
  const auto failure = OpenFailure(port);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->kind(), PortError::Kind::InUse);
  ASSERT_TRUE(failure->fault().has_value());
  EXPECT_EQ(failure->fault()->pid, other.Pid());
  EXPECT_FALSE(port.IsOpen());

  other.Release();
  EXPECT_EQ(OpenError(port), std::nullopt);
}

// Permissions do not apply to root, as CI runs: the opening runs in a child process that has
// become nobody, on a terminal that belongs to root and the group and mode of each case, as an
// adapter's device does. Run by another user, the terminal is made unreadable to its owner
// instead. Joining a group is advised only where that group may read and write the device.
TEST_F(PortOnPty, ADeviceWithoutRightsSaysSoAndNamesTheGroupOrTheOwner) {
  const bool root = ::geteuid() == 0;
  ASSERT_EQ(::chmod(dir.Path().toLocal8Bit().constData(), 0755), 0);  // nobody may look up the link
  struct Case {
    gid_t gid;
    mode_t mode;
    const char* group;  // the group to join; empty: none
    const char* owner;
    const char* permissions;
  };
  const std::vector<Case> cases =
      root ? std::vector<Case>{{20, 0660, "dialout", "root:dialout", "rw-rw----"},
                               {0, 0600, "", "root:root", "rw-------"},
                               {20, 0600, "", "root:dialout", "rw-------"},
                               {0, 0660, "", "root:root", "rw-rw----"}}
           : std::vector<Case>{{::getgid(), 0, "", nullptr, "---------"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.owner ? c.owner : "own") + " " + c.permissions);
    if (root) {
      ASSERT_EQ(::chown(pty->SlavePath().c_str(), 0, c.gid), 0);
    }
    ASSERT_EQ(::chmod(pty->SlavePath().c_str(), c.mode), 0);
    const int verdict = test::RunInChild(
        [&] {
          QtSerialPort other(dir.Path());
          other.SetSettings("9600,n,8,1");
          other.SetCommPort(1);
          const auto failure = OpenFailure(other);
          if (!failure) return 1;
          if (failure->kind() != PortError::Kind::Unavailable || !failure->fault()) return 2;
          const PortFault& fault = *failure->fault();
          if (fault.reason != PortFault::Reason::NoPermission) return 3;
          if (fault.group != c.group) return 4;
          if (c.owner && fault.owner != c.owner) return 5;
          if (fault.permissions != c.permissions) return 6;
          const QString text = PortFaultText(fault);
          const bool advisesGroup = text.contains("usermod");
          if (advisesGroup != (*c.group != 0)) return 7;
          if (!advisesGroup && !text.contains(fault.owner)) return 8;
          return 0;
        },
        /*asOtherUser=*/true);
    EXPECT_EQ(verdict, 0);
  }
}

// The port layer is refused, but no live process holds the device: the message names what does
// keep it out. A lock file whose process has ended, left by another user (this one may not
// remove it from the shared lock folder), and an exclusive claim left by a program that ended
// while the device stayed open elsewhere. Needs root to play the other user.
TEST_F(PortOnPty, ARefusalWithoutAHolderNamesTheStaleLockOrTheLeftClaim) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to leave a lock file another user cannot remove";
  ASSERT_EQ(::chmod(dir.Path().toLocal8Bit().constData(), 0755), 0);
  ASSERT_EQ(::chmod(pty->SlavePath().c_str(), 0666), 0);
  const QString device = pty->SlaveQPath();
  const auto faultAsNobody = [&](PortFault::Reason expected, std::int64_t pid, const QString& lock) {
    return test::RunInChild(
        [&] {
          QtSerialPort other(dir.Path());
          other.SetSettings("9600,n,8,1");
          other.SetCommPort(1);
          const auto failure = OpenFailure(other);
          if (!failure || !failure->fault()) return 1;
          const PortFault& fault = *failure->fault();
          if (fault.reason != expected) return 2;
          if (fault.pid != pid || fault.lockFile != lock) return 3;
          if (PortFaultText(fault).contains("занято другой программой")) return 4;
          return 0;
        },
        /*asOtherUser=*/true);
  };

  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const QString lock = "/var/lock/" + LockFileName(device);
  {
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // As Qt writes it: the number, the program, the host.
    file.write(QByteArray::number(ended) + "\ntorvex-tp\n" + QSysInfo::machineHostName().toUtf8() + "\n");
  }
  EXPECT_EQ(faultAsNobody(PortFault::Reason::StaleLock, ended, lock), 0);
  QFile::remove(lock);

  // A program claimed it and ended without letting go; the test still holds the terminal.
  const int claimer = test::RunInChild([&] {
    const int fd = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? 0 : 1;
  });
  ASSERT_EQ(claimer, 0);
  EXPECT_EQ(faultAsNobody(PortFault::Reason::Claimed, 0, QString()), 0);
}

// Once open, the port is the tool's alone (an exclusive claim, TIOCEXCL): nothing else can
// open it and break into an exchange. Root may open it anyway, so the other program is nobody.
TEST_F(PortOnPty, AnOpenPortCannotBeOpenedByAnotherProgram) {
  ASSERT_EQ(::chmod(pty->SlavePath().c_str(), 0666), 0);
  const auto tryOpen = [&] {
    const int fd = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) return 0;
    return errno == EBUSY ? 16 : 1;
  };
  EXPECT_EQ(test::RunInChild(tryOpen, true), 0) << "free before";
  port.Open();
  EXPECT_EQ(test::RunInChild(tryOpen, true), 16) << "busy while the tool has it";
  port.Close();
  EXPECT_EQ(test::RunInChild(tryOpen, true), 0) << "free again";
}

TEST_F(PortOnPty, AClosedPortReadsNothingAndSendsNothing) {
  port.Open();
  pty->Write(Bytes{1, 2, 3});
  RunEventLoopUntil([&] { return port.BytesWaiting() == 3; }, 1s);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_EQ(port.ReadByte(), 0);
  port.Write(Bytes{9, 9});
  EXPECT_TRUE(pty->Read(1, 100ms).empty());
}

TEST_F(PortOnPty, OpenTakesThePortNumberAndLinkOfThatMoment) {
  port.Open();
  test::Pty second;
  dir.Bind(2, second.SlavePath());
  port.SetCommPort(2);
  port.Write(Bytes{0x11});
  EXPECT_EQ(pty->Read(1, 1s), Bytes{0x11}) << "a new number waits for the next opening";

  port.Open();
  port.Write(Bytes{0x22});
  EXPECT_EQ(second.Read(1, 1s), Bytes{0x22});
  EXPECT_TRUE(pty->Read(1, 50ms).empty());
}

TEST_F(PortOnPty, ADeadPortClosesAtOnceWithoutSpinning) {
  // The layer learns of the death from the event loop, or inside a write of the next tick.
  for (const bool writeFirst : {false, true}) {
    SCOPED_TRACE(writeFirst ? "noticed by writing" : "noticed by reading");
    pty = std::make_unique<test::Pty>();
    dir.Bind(1, pty->SlavePath());
    port.Open();
    pty->Vanish();
    if (writeFirst) port.Write(Bytes{1, 2, 3});

    const auto cpuBefore = CpuTime();
    RunEventLoop(300ms);
    EXPECT_LT(CpuTime() - cpuBefore, 100ms) << "the event loop spins on a dead port";
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.BytesWaiting(), 0);
    EXPECT_EQ(port.ReadByte(), 0);
    port.Write(Bytes{1, 2, 3});  // nowhere to go: ignored
  }
}

TEST_F(PortOnPty, ADeadPortComesBackBehindItsLinkWithTheSameMode) {
  port.SetSettings("19200,n,8,2");
  port.Open();
  pty->Vanish();

  // The link still names the terminal that is gone: attempts fail, quietly.
  const auto cpuBefore = CpuTime();
  RunEventLoop(1200ms);
  EXPECT_LT(CpuTime() - cpuBefore, 100ms);
  EXPECT_FALSE(port.IsOpen());

  // The simulator restarts on a new pseudo-terminal and moves the link.
  pty = std::make_unique<test::Pty>();
  dir.Bind(1, pty->SlavePath());
  QElapsedTimer back;
  back.start();
  ASSERT_TRUE(RunEventLoopUntil([&] { return port.IsOpen(); }, 2s));
  EXPECT_LE(back.elapsed(), 1300);

  EXPECT_EQ(OutSpeed(*pty), B19200);
  EXPECT_TRUE(pty->Attributes().c_cflag & CSTOPB);
  port.Write(Bytes{0x07, 0x00, 0xFF});
  EXPECT_EQ(pty->Read(3, 1s), (Bytes{0x07, 0x00, 0xFF}));
  pty->Write(Bytes{0xFF, 0x00});
  EXPECT_EQ(Receive(port, 2), (Bytes{0xFF, 0x00}));
}

// An adapter bound by its by-id name, pulled out and plugged into another socket: udev removes
// the by-id link, then makes it anew for the new device. Here the device is a pseudo-terminal.
TEST_F(PortOnPty, AnAdapterBoundByItsByIdNameComesBackInAnotherSocket) {
  const std::filesystem::path byIdDir = std::filesystem::path(dir.Path().toStdString()) / "by-id";
  std::filesystem::create_directory(byIdDir);
  const auto byId = byIdDir / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  std::filesystem::create_symlink(pty->SlavePath(), byId);
  dir.Bind(1, byId.string());
  port.SetSettings("19200,n,8,2");
  port.Open();

  pty->Vanish();
  std::filesystem::remove(byId);
  RunEventLoop(1200ms);
  EXPECT_FALSE(port.IsOpen());

  pty = std::make_unique<test::Pty>();
  std::filesystem::create_symlink(pty->SlavePath(), byId);
  ASSERT_TRUE(RunEventLoopUntil([&] { return port.IsOpen(); }, 2s)) << "within 2 s of plugging in";
  EXPECT_EQ(OutSpeed(*pty), B19200);
  port.Write(Bytes{0x07, 0x03});
  EXPECT_EQ(pty->Read(2, 1s), (Bytes{0x07, 0x03}));
}

TEST_F(PortOnPty, ARemovedLinkIsWaitedForNotReplacedByTheBuiltInPort) {
  port.SetSettings("19200,n,8,2");
  port.Open();
  pty->Vanish();
  std::filesystem::remove(dir.LinkPath(1));  // a simulator's clean exit takes its link along
  RunEventLoop(1500ms);
  EXPECT_FALSE(port.IsOpen()) << "must not open /dev/ttyS0 in the link's place";

  pty = std::make_unique<test::Pty>();
  dir.Bind(1, pty->SlavePath());
  EXPECT_TRUE(RunEventLoopUntil([&] { return port.IsOpen(); }, 2s));
}

TEST_F(PortOnPty, ADeadTerminalsNumberTakenByAnotherTerminalIsNotReopened) {
  port.SetSettings("19200,n,8,2");
  port.Open();
  const std::string deadPath = pty->SlavePath();
  pty->Vanish();
  ASSERT_TRUE(RunEventLoopUntil([&] { return !port.IsOpen(); }, 1s));
  // Another program's terminal gets the freed number; the old link now leads to it.
  auto stranger = std::make_unique<test::Pty>();
  if (stranger->SlavePath() != deadPath) GTEST_SKIP() << "the number was not reused";
  RunEventLoop(1500ms);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_TRUE(stranger->Read(1, 50ms).empty());
}

TEST_F(PortOnPty, TheCallersCloseOrNewNumberStopsTheAutomaticReopening) {
  auto otherPty = std::make_unique<test::Pty>();
  dir.Bind(2, otherPty->SlavePath());
  QtSerialPort other(dir.Path());
  other.SetSettings("9600,n,8,1");
  other.SetCommPort(2);
  port.Open();
  other.Open();
  pty->Vanish();
  otherPty->Vanish();
  RunEventLoopUntil([&] { return !port.IsOpen() && !other.IsOpen(); }, 1s);

  port.Close();
  other.SetCommPort(2);

  pty = std::make_unique<test::Pty>();
  dir.Bind(1, pty->SlavePath());
  otherPty = std::make_unique<test::Pty>();
  dir.Bind(2, otherPty->SlavePath());
  RunEventLoop(1300ms);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(other.IsOpen());
}

}  // namespace
}  // namespace torvex
