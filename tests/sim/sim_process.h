#pragma once
// Runs the torvex-sim program for a test: in its own temporary directory, on a pseudo-terminal
// linked as <dir>/com1, with the test holding the tool's end of the line (or, without the
// link, serving TCP: sim/tcp_client.h).
#include <sys/types.h>

#include <csignal>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "sim/line_mode.h"
#include "sim/modbus.h"

namespace torvex::sim::testing {

// A request or answer from its bytes, with the CRC appended.
Bytes WithCrc(std::initializer_list<std::uint8_t> bytes);
// "07 03 0B B8" -> bytes.
Bytes FromHex(std::string_view hex);

// Collects bytes from `fd` until `count` have come or `timeout` has passed.
Bytes ReadBytes(int fd, std::size_t count, std::chrono::milliseconds timeout);

// A fresh temporary directory, removed with everything in it when the test is done.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct Finished {
  int exitCode = -1;  // -1: ended by a signal
  std::string out, err;
};

class SimProcess {
 public:
  // Starts the program with `args`; with `link` it adds "--link <dir>/com1" and opens the link.
  // Fails the test (and leaves nothing running) when no start line comes within two seconds.
  // `dir` is where the link goes; a temporary one of its own when empty.
  explicit SimProcess(std::vector<std::string> args, bool link = true,
                      std::filesystem::path dir = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Started() const { return !banner_.empty(); }
  const std::string& Banner() const { return banner_; }
  const std::filesystem::path& Dir() const { return dir_; }
  std::filesystem::path LinkPath() const { return dir_ / "com1"; }
  pid_t Pid() const { return pid_; }

  // Sets the test's end of the line to `mode` as the tool's serial port does (9600, 19200 or
  // 115200 baud).
  void SetLineMode(const LineMode& mode);
  void Send(const Bytes& bytes);
  // Collects answer bytes until `count` have come or `timeout` has passed.
  Bytes Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2));
  // Sends a request and collects `count` answer bytes.
  Bytes Exchange(const Bytes& request, std::size_t count);
  void CloseLine();
  // Reads the program's standard error until it holds `text` or `timeout` has passed; true when
  // it does. What was read stays part of what Stop returns.
  bool WaitForError(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(2));

  // Sends `signal` and waits for the program to end.
  Finished Stop(int signal = SIGTERM);
  // CPU time the program has used so far, in clock ticks.
  long CpuTicks() const;

 private:
  std::optional<ScratchDir> ownDir_;
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1, lineFd_ = -1;
  std::string banner_, out_, err_;
};

// Runs the program to its end (for command lines it refuses or that fail at start).
Finished RunToEnd(const std::vector<std::string>& args);
// Runs another program (a path, or a name looked up in PATH) to its end, within five seconds.
Finished RunProgram(const std::string& program, const std::vector<std::string>& args);


}  // namespace torvex::sim::testing
