#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace torvex::sim::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Spawned {
  pid_t pid = -1;
  int out = -1, err = -1;
};

// Starts `program` (a path, or a name looked up in PATH) with its output on pipes.
Spawned Spawn(const std::string& program, const std::vector<std::string>& args) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> copy = args;
  copy.insert(copy.begin(), program);
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  Spawned s;
  if (::posix_spawnp(&s.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) s.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  s.out = out[0];
  s.err = err[0];
  return s;
}

// Reads what `fd` has until `done` says so, end of file or the deadline.
template <typename Done>
void ReadUntil(int fd, std::string& into, Clock::time_point deadline, Done done) {
  char buffer[4096];
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return;
    into.append(buffer, static_cast<std::size_t>(n));
  }
}

Finished Collect(pid_t pid, int outFd, int errFd, std::string out, std::string err = {}) {
  Finished f;
  f.out = std::move(out);
  f.err = std::move(err);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  ReadUntil(outFd, f.out, deadline, [] { return false; });
  ReadUntil(errFd, f.err, deadline, [] { return false; });
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << "the program did not end";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  f.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ::close(outFd);
  ::close(errFd);
  return f;
}

}  // namespace

Bytes ReadBytes(int fd, std::size_t count, std::chrono::milliseconds timeout) {
  Bytes bytes;
  const auto deadline = Clock::now() + timeout;
  std::uint8_t buffer[512];
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n == 0) break;  // the other side has closed
    if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

Bytes WithCrc(std::initializer_list<std::uint8_t> bytes) {
  Bytes frame(bytes);
  AppendCrc(frame);
  return frame;
}

Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  std::istringstream in{std::string(hex)};
  for (std::string word; in >> word;) {
    unsigned value = 0;
    std::from_chars(word.data(), word.data() + word.size(), value, 16);
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "torvex-sim-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

SimProcess::SimProcess(std::vector<std::string> args, bool link, std::filesystem::path dir)
    : dir_(std::move(dir)) {
  if (dir_.empty()) dir_ = ownDir_.emplace().Path();
  if (link) {
    args.push_back("--link");
    args.push_back(LinkPath().string());
  }
  const Spawned s = Spawn(TORVEX_SIM_PROGRAM, args);
  pid_ = s.pid;
  outFd_ = s.out;
  errFd_ = s.err;
  if (pid_ < 0) {
    ADD_FAILURE() << "cannot start " << TORVEX_SIM_PROGRAM;
    return;
  }
  ReadUntil(outFd_, out_, Clock::now() + std::chrono::seconds(5),
            [this] { return out_.find('\n') != std::string::npos; });
  const auto newline = out_.find('\n');
  if (newline == std::string::npos) {
    const Finished f = Stop(SIGKILL);
    ADD_FAILURE() << "torvex-sim gave no start line; stderr: " << f.err;
    return;
  }
  banner_ = out_.substr(0, newline);
  out_.erase(0, newline + 1);
  if (link) {
    lineFd_ = ::open(LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (lineFd_ < 0) {
      ADD_FAILURE() << "cannot open " << LinkPath();
      return;
    }
    termios t{};
    ::tcgetattr(lineFd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(lineFd_, TCSANOW, &t);
  }
}

SimProcess::~SimProcess() {
  if (pid_ > 0) Stop(SIGKILL);
  CloseLine();
}

void SimProcess::SetLineMode(const LineMode& mode) {
  termios t{};
  ASSERT_EQ(::tcgetattr(lineFd_, &t), 0);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[mode.dataBits - 5];
  if (mode.parity != 'n') t.c_cflag |= PARENB;
  if (mode.parity == 'o' || mode.parity == 'm') t.c_cflag |= PARODD;
  if (mode.parity == 'm' || mode.parity == 's') t.c_cflag |= CMSPAR;
  if (mode.stopHalfBits == 4) t.c_cflag |= CSTOPB;
  const speed_t speed = mode.baud == 9600 ? B9600 : mode.baud == 19200 ? B19200 : B115200;
  ASSERT_EQ(mode.baud, mode.baud == 9600 || mode.baud == 19200 ? mode.baud : 115200);
  ::cfsetspeed(&t, speed);
  ASSERT_EQ(::tcsetattr(lineFd_, TCSANOW, &t), 0);
}

void SimProcess::Send(const Bytes& bytes) {
  ASSERT_EQ(::write(lineFd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes SimProcess::Receive(std::size_t count, std::chrono::milliseconds timeout) {
  return ReadBytes(lineFd_, count, timeout);
}

Bytes SimProcess::Exchange(const Bytes& request, std::size_t count) {
  Send(request);
  return Receive(count);
}

void SimProcess::CloseLine() {
  if (lineFd_ >= 0) ::close(lineFd_);
  lineFd_ = -1;
}

bool SimProcess::WaitForError(std::string_view text, std::chrono::milliseconds timeout) {
  ReadUntil(errFd_, err_, Clock::now() + timeout, [&] { return err_.find(text) != std::string::npos; });
  return err_.find(text) != std::string::npos;
}

Finished SimProcess::Stop(int signal) {
  if (pid_ <= 0) return {};
  ::kill(pid_, signal);
  Finished f = Collect(pid_, outFd_, errFd_, std::move(out_), std::move(err_));
  pid_ = -1;
  return f;
}

long SimProcess::CpuTicks() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), {});
  // Fields after the command name, which ends with the last ')': state is field 3, utime 14.
  std::istringstream fields(content.substr(content.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int k = 3; k <= 15 && fields >> field; ++k) {
    if (k == 14) utime = std::stol(field);
    if (k == 15) stime = std::stol(field);
  }
  return utime + stime;
}

Finished RunToEnd(const std::vector<std::string>& args) { return RunProgram(TORVEX_SIM_PROGRAM, args); }

Finished RunProgram(const std::string& program, const std::vector<std::string>& args) {
  const Spawned s = Spawn(program, args);
  if (s.pid < 0) {
    ADD_FAILURE() << "cannot start " << program;
    return {};
  }
  return Collect(s.pid, s.out, s.err, {});
}

}  // namespace torvex::sim::testing
