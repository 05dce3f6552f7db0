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
  int fd() const { return fd_; }
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
constexpr std::int64_t kToolGone_us = 500'000;

std::string Elapsed(std::int64_t us) {
  const std::int64_t ms = us / 1000;
  std::string frac = Dec(ms % 1000);
  return Dec(ms / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

std::string Banner(const Options& o, const Link& link, std::uint8_t address, std::uint64_t seed) {
  std::string text = "torvex-sim: TORVEX-CPU at address " + Dec(address) + " on " + link.device();
  if (!link.link_path().empty()) text += " (link " + link.link_path() + ")";
  text += ", " + ToString(o.mode) + ", seed " + Dec(seed);
  if (o.frozen) text += ", frozen";
  if (o.line_timing) text += ", line timing";
  const FaultPlan& f = o.faults;
  auto fault = [&text](const char* name, std::uint32_t n) {
    if (n != 0) text += std::string(", ") + name + " " + Dec(n);
  };
  fault("silent every", f.silent_every);
  fault("corrupt every", f.corrupt_every);
  fault("split every", f.split_every);
  fault("noise every", f.noise_every);
  fault("delay ms", f.delay_ms);
  if (f.echo) text += ", echo";
  for (const auto& [function, code] : f.exceptions) {
    text += ", exception " + Dec(code) + " for function " + Dec(function);
  }
  return text + "; Ctrl+C stops";
}

}  // namespace

int RunSimulator(const Options& o, std::ostream& out, std::ostream& err) {
  StopSignals stop;
  if (stop.fd() < 0) {
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

  const std::int64_t start_us = NowMicros();
  Responder responder(Controller(eeprom, Plant(seed, o.frozen), address), o.faults, seed, start_us);
  RtuFramer framer(FrameGapMicros(o.mode));
  const double char_us = o.line_timing ? CharacterMicros(o.mode) : 0;
  OutputQueue output(char_us);
  InboundPacer inbound(char_us);
  HalfDuplexPair pair;
  out << Banner(o, *link, address, seed) << std::endl;

  auto trace = [&](const char* direction, std::span<const std::uint8_t> bytes, std::int64_t at_us,
                   const std::string& note) {
    if (!o.trace) return;
    err << Elapsed(at_us - start_us) << ' ' << direction << ' ' << Hex(bytes);
    if (!note.empty()) err << "  (" << note << ")";
    err << "\n";
  };

  auto handle = [&](const std::vector<Frame>& frames, std::int64_t now_us) {
    for (const Frame& frame : frames) {
      Responder::Reply reply = responder.OnFrame(frame, now_us);
      trace("<-", frame.bytes, now_us, reply.verdict);
      for (Transmission& t : reply.transmissions) {
        trace("->", t.bytes, t.due_us, t.due_us > now_us ? "due later" : "");
        if (!output.Schedule(t.due_us, std::move(t.bytes))) {
          err << "torvex-sim: nobody reads the line; an answer was dropped\n";
        } else if (o.line_timing) {
          pair.Answer(output.LastSpan().first, output.LastSpan().second);
        }
      }
      if (reply.eeprom_changed) {
        const Eeprom& stored = responder.controller().eeprom();
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
  std::optional<std::int64_t> release_claim_at;  // armed by traffic on a pseudo-terminal
  auto earliest = [](std::optional<std::int64_t>& wake, std::optional<std::int64_t> t) {
    if (t && (!wake || *t < *wake)) wake = t;
  };
  for (;;) {
    std::int64_t now = NowMicros();
    if (release_claim_at && now >= *release_claim_at) {
      link->ReleaseExclusiveClaim();
      release_claim_at.reset();
    }
    const bool writing = output.HasDue(now);
    std::optional<std::int64_t> wake = framer.Deadline();
    earliest(wake, inbound.NextDue());
    if (!writing) earliest(wake, output.NextDue());
    earliest(wake, release_claim_at);
    timespec timeout{};
    if (wake) {
      const std::int64_t wait_us = std::max<std::int64_t>(*wake - now, 0);
      timeout.tv_sec = wait_us / 1'000'000;
      timeout.tv_nsec = (wait_us % 1'000'000) * 1000;
    }
    pollfd fds[2] = {{link->fd(), static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0},
                     {stop.fd(), POLLIN, 0}};
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
      const ssize_t n = ::read(link->fd(), buffer.data(), buffer.size());
      if (n > 0) {
        if (link->is_pseudo_terminal()) release_claim_at = now + kToolGone_us;
        const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(n));
        if (o.line_timing) {
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
      err << "torvex-sim: the line is gone (" << link->device() << ")\n";
      status = 1;
      break;
    }
    // On a timed line each byte reaches the framer when its character has passed.
    for (const InboundPacer::Arrival& a : inbound.TakeDue(now)) {
      handle(framer.Feed(std::span(&a.byte, 1), a.at_us), a.at_us);
    }
    handle(framer.Expire(now), now);
    if (!output.Flush(link->fd(), now)) {
      err << "torvex-sim: writing to the line failed: " << std::strerror(errno) << "\n";
      status = 1;
      break;
    }
  }

  link.reset();  // removes the symbolic link before the summary says we are done
  Stats stats = responder.stats();
  if (o.line_timing) stats.talked_over = pair.TalkedOver();
  out << Summary(stats) << std::endl;
  return status;
}

}  // namespace torvex::sim
