#include "sim/simulator.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <random>

#include "sim/eeprom_file.h"
#include "sim/line_timing.h"
#include "sim/link.h"
#include "sim/output_queue.h"
#include "sim/responder.h"
#include "sim/rtu_framer.h"
#include "sim/text.h"

namespace torvex::sim {
namespace {

std::int64_t NowMicros() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000 + ts.tv_nsec / 1000;
}

// The stop signals arrive as readable data on a descriptor, so the loop waits for them and for
// the line in the same poll and never runs a handler in the middle of a write.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set_, s);
    ::sigprocmask(SIG_BLOCK, &set_, &old_);
    fd_ = ::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
  }
  ~StopSignals() {
    if (fd_ >= 0) ::close(fd_);
    ::sigprocmask(SIG_SETMASK, &old_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  int Fd() const { return fd_; }
  // Takes the pending signal, so unblocking at the end does not deliver it again.
  void Take() {
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
  }

 private:
  sigset_t set_{}, old_{};
  int fd_ = -1;
};

// The tool sends every 100 ms while it runs; this much silence means it has let go of the line.
constexpr std::int64_t kToolGoneUs = 500'000;

std::string Elapsed(std::int64_t us) {
  const std::int64_t ms = us / 1000;
  std::string frac = Dec(ms % 1000);
  return Dec(ms / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

std::string Banner(const Options& o, const Link& link, std::uint8_t address, std::uint64_t seed) {
  std::string text = "torvex-sim: TORVEX-CPU at address " + Dec(address) + " on " + link.Device();
  if (!link.LinkPath().empty()) text += " (link " + link.LinkPath() + ")";
  text += ", " + ToString(o.mode) + ", seed " + Dec(seed);
  if (o.frozen) text += ", frozen";
  if (o.lineTiming) text += ", line timing";
  const FaultPlan& f = o.faults;
  auto fault = [&text](const char* name, std::uint32_t n) {
    if (n != 0) text += std::string(", ") + name + " " + Dec(n);
  };
  fault("silent every", f.silentEvery);
  fault("corrupt every", f.corruptEvery);
  fault("split every", f.splitEvery);
  fault("noise every", f.noiseEvery);
  fault("delay ms", f.delayMs);
  if (f.echo) text += ", echo";
  for (const auto& [function, code] : f.exceptions) {
    text += ", exception " + Dec(code) + " for function " + Dec(function);
  }
  return text + "; Ctrl+C stops";
}

}  // namespace

int RunSimulator(const Options& o, std::ostream& out, std::ostream& err) {
  StopSignals stop;
  if (stop.Fd() < 0) {
    err << "torvex-sim: cannot watch for signals: " << std::strerror(errno) << "\n";
    return 1;
  }

  Eeprom eeprom = Eeprom::Defaults();
  if (!o.eeprom.empty()) {
    EepromLoad loaded = LoadEepromFile(o.eeprom);
    if (!loaded.eeprom) {
      err << "torvex-sim: " << loaded.message << "\n";
      return 1;
    }
    if (!loaded.message.empty()) err << "torvex-sim: " << loaded.message << "\n";
    eeprom = *loaded.eeprom;
  }

  std::uint8_t address = eeprom.ModbusAddress();
  if (o.address) {
    address = *o.address;
  } else if (address == 0 || address > 247) {
    err << "torvex-sim: the EEPROM holds " << Dec(address)
        << ", which is no slave address; answering as 7 (see --address)\n";
    address = 7;
  }
  const std::uint64_t seed = o.seed ? *o.seed : std::random_device{}();

  std::optional<Link> link;
  try {
    link.emplace(o.device.empty() ? Link::OpenPseudoTerminal(o.link, o.mode)
                                  : Link::OpenDevice(o.device, o.mode));
  } catch (const LinkError& e) {
    err << "torvex-sim: " << e.what() << "\n";
    return 1;
  }

  const std::int64_t startUs = NowMicros();
  Responder responder(Controller(eeprom, Plant(seed, o.frozen), address), o.faults, seed, startUs);
  RtuFramer framer(FrameGapMicros(o.mode));
  const double charUs = o.lineTiming ? CharacterMicros(o.mode) : 0;
  OutputQueue output(charUs);
  InboundPacer inbound(charUs);
  HalfDuplexPair pair;
  out << Banner(o, *link, address, seed) << std::endl;

  auto trace = [&](const char* direction, std::span<const std::uint8_t> bytes, std::int64_t atUs,
                   const std::string& note) {
    if (!o.trace) return;
    err << Elapsed(atUs - startUs) << ' ' << direction << ' ' << Hex(bytes);
    if (!note.empty()) err << "  (" << note << ")";
    err << "\n";
  };

  auto handle = [&](const std::vector<Frame>& frames, std::int64_t nowUs) {
    for (const Frame& frame : frames) {
      Responder::Reply reply = responder.OnFrame(frame, nowUs);
      trace("<-", frame.bytes, nowUs, reply.verdict);
      for (Transmission& t : reply.transmissions) {
        trace("->", t.bytes, t.dueUs, t.dueUs > nowUs ? "due later" : "");
        if (!output.Schedule(t.dueUs, std::move(t.bytes))) {
          err << "torvex-sim: nobody reads the line; an answer was dropped\n";
        } else if (o.lineTiming) {
          pair.Answer(output.LastSpan().first, output.LastSpan().second);
        }
      }
      if (reply.eepromChanged) {
        const Eeprom& stored = responder.GetController().GetEeprom();
        if (!o.eeprom.empty()) {
          if (auto error = SaveEepromFile(o.eeprom, stored)) err << "torvex-sim: " << *error << "\n";
        }
        if (stored.ModbusAddress() != address) {
          err << "torvex-sim: the EEPROM now holds slave address " << Dec(stored.ModbusAddress())
              << "; it answers as " << Dec(address) << " until it is started again\n";
        }
      }
    }
  };

  int status = 0;
  std::array<std::uint8_t, 4096> buffer{};
  std::optional<std::int64_t> releaseClaimAt;  // armed by traffic on a pseudo-terminal
  auto earliest = [](std::optional<std::int64_t>& wake, std::optional<std::int64_t> t) {
    if (t && (!wake || *t < *wake)) wake = t;
  };
  for (;;) {
    std::int64_t now = NowMicros();
    if (releaseClaimAt && now >= *releaseClaimAt) {
      link->ReleaseExclusiveClaim();
      releaseClaimAt.reset();
    }
    const bool writing = output.HasDue(now);
    std::optional<std::int64_t> wake = framer.Deadline();
    earliest(wake, inbound.NextDue());
    if (!writing) earliest(wake, output.NextDue());
    earliest(wake, releaseClaimAt);
    timespec timeout{};
    if (wake) {
      const std::int64_t waitUs = std::max<std::int64_t>(*wake - now, 0);
      timeout.tv_sec = waitUs / 1'000'000;
      timeout.tv_nsec = (waitUs % 1'000'000) * 1000;
    }
    pollfd fds[2] = {{link->Fd(), static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0},
                     {stop.Fd(), POLLIN, 0}};
    if (::ppoll(fds, 2, wake ? &timeout : nullptr, nullptr) < 0 && errno != EINTR) {
      err << "torvex-sim: waiting for the line failed: " << std::strerror(errno) << "\n";
      status = 1;
      break;
    }
    if (fds[1].revents & POLLIN) {
      stop.Take();
      break;
    }

    now = NowMicros();
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(link->Fd(), buffer.data(), buffer.size());
      if (n > 0) {
        if (link->IsPseudoTerminal()) releaseClaimAt = now + kToolGoneUs;
        const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(n));
        if (o.lineTiming) {
          for (const auto& [from, to] : inbound.Receive(bytes, now)) pair.MasterCharacter(from, to);
        } else {
          handle(framer.Feed(bytes, now), now);
        }
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        err << "torvex-sim: the line is gone: " << (n == 0 ? "end of file" : std::strerror(errno)) << "\n";
        status = 1;
        break;
      }
    } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      err << "torvex-sim: the line is gone (" << link->Device() << ")\n";
      status = 1;
      break;
    }
    // On a timed line each byte reaches the framer when its character has passed.
    for (const InboundPacer::Arrival& a : inbound.TakeDue(now)) {
      handle(framer.Feed(std::span(&a.byte, 1), a.atUs), a.atUs);
    }
    handle(framer.Expire(now), now);
    if (!output.Flush(link->Fd(), now)) {
      err << "torvex-sim: writing to the line failed: " << std::strerror(errno) << "\n";
      status = 1;
      break;
    }
  }

  link.reset();  // removes the symbolic link before the summary says we are done
  Stats stats = responder.GetStats();
  if (o.lineTiming) stats.talkedOver = pair.TalkedOver();
  out << Summary(stats) << std::endl;
  return status;
}

}  // namespace torvex::sim
