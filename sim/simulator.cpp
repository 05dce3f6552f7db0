#include "sim/simulator.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>

#include "sim/clock.h"
#include "sim/console.h"
#include "sim/eeprom_file.h"
#include "sim/mbap_conversation.h"
#include "sim/rtu_conversation.h"
#include "sim/serve.h"
#include "sim/text.h"

namespace torvex::sim {
namespace {

// `where`: the line or the TCP address the simulator serves.
std::string Banner(const Options& o, const std::string& where, std::uint8_t address, std::uint64_t seed) {
  std::string text = "torvex-sim: TORVEX-CPU at address " + Dec(address) + " on " + where;
  text += ", " + ToString(o.mode) + ", seed " + Dec(seed);
  if (o.frozen) text += ", frozen";
  if (o.lineTiming) text += ", line timing";
  if (o.strictMode) text += ", strict mode";
  if (o.gateway.on && o.gateway.noPath) {
    text += ", gateway (timeout " + Dec(o.gateway.timeoutMs) + " ms, no path to other units)";
  } else if (o.gateway.on) {
    text += ", gateway (timeout " + Dec(o.gateway.timeoutMs) + " ms)";
  }
  if (o.closeAfterAnswer) text += ", close after answer";
  const FaultPlan& f = o.faults;
  auto fault = [&text](const char* name, std::uint32_t n) {
    if (n != 0) text += std::string(", ") + name + " " + Dec(n);
  };
  fault("silent every", f.silentEvery);
  fault("corrupt every", f.corruptEvery);
  fault("split every", f.splitEvery);
  fault("noise every", f.noiseEvery);
  fault("wrong transaction every", f.wrongTransactionEvery);
  fault("delay ms", f.delayMs);
  if (f.echo) text += ", echo";
  for (const auto& [function, code] : f.exceptions) {
    text += ", exception " + Dec(code) + " for function " + Dec(function);
  }
  const UnitFaults& u = o.unitFaults;
  for (unsigned k = 0; k < 32; ++k) {
    if (u.stuckInputs & (1u << k)) text += ", stuck input " + Dec(k + 1);
  }
  for (const auto& [a, b] : u.shortedInputs) {
    text += ", inputs " + Dec(a + 1) + " and " + Dec(b + 1) + " shorted";
  }
  for (unsigned k = 0; k < u.analogErrorPercent.size(); ++k) {
    if (const double p = u.analogErrorPercent[k]; p != 0) {
      text += ", analog output " + Dec(k + 1) + " off by " + Percent(p);
    }
  }
  return text + "; Ctrl+C stops";
}

std::string Where(const Link& link) {
  if (link.LinkPath().empty()) return link.Device();
  return link.Device() + " (link " + link.LinkPath() + ")";
}

std::string Where(const TcpListener& listener, bool modbusTcp) {
  return "TCP " + listener.Address() + (modbusTcp ? " (Modbus TCP)" : " (RTU over TCP)");
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
  std::optional<TcpListener> listener;
  try {
    if (o.listen) {
      listener.emplace(TcpListener::Open(*o.listen));
    } else {
      link.emplace(o.device.empty() ? Link::OpenPseudoTerminal(o.link, o.mode)
                                    : Link::OpenDevice(o.device, o.mode));
    }
  } catch (const std::runtime_error& e) {
    err << "torvex-sim: " << e.what() << "\n";
    return 1;
  }

  const std::int64_t startUs = NowMicros();
  Responder responder(Controller(eeprom, Plant(seed, o.frozen), address, o.unitFaults), o.faults, seed,
                      startUs);
  Console console(err, o.trace, o.eeprom, startUs, address, responder);
  // The half-duplex pair whose overlaps the summary counts: a timed RTU line (a gateway
  // serialises Modbus TCP's exchanges, so nothing overlaps there).
  HalfDuplexPair pair;
  HalfDuplexPair* timedPair = o.lineTiming && !o.modbusTcp ? &pair : nullptr;
  out << Banner(o, listener ? Where(*listener, o.modbusTcp) : Where(*link), address, seed) << std::endl;

  int status = 0;
  if (listener) {
    const double lineCharUs = o.lineTiming ? CharacterMicros(o.mode) : 0;
    status = ServeTcp(*listener, [&]() -> std::unique_ptr<Conversation> {
      if (o.modbusTcp) {
        return std::make_unique<MbapConversation>(responder, console, lineCharUs,
                                                  o.lineTiming ? FrameGapMicros(o.mode) : 0, o.gateway);
      }
      return std::make_unique<RtuConversation>(responder, console, o.mode, o.lineTiming,
                                               RtuFramer::Carrier::kStream, timedPair);
    }, stop, console, o.closeAfterAnswer);
  } else {
    // A real device's UART hears only its own mode by itself; a pseudo-terminal needs a look.
    std::optional<LineCheck> check;
    if (o.strictMode && link->IsPseudoTerminal()) check.emplace(link->Fd(), o.mode);
    RtuConversation line(responder, console, o.mode, o.lineTiming, RtuFramer::Carrier::kLine, timedPair,
                         check ? &*check : nullptr);
    status = ServeLine(*link, line, stop, console);
  }

  link.reset();  // removes the symbolic link before the summary says we are done
  listener.reset();
  Stats stats = responder.GetStats();
  if (timedPair) stats.talkedOver = pair.TalkedOver();
  if (o.gateway.on && !stats.gatewayAnswered) stats.gatewayAnswered = 0;
  out << Summary(stats) << std::endl;
  return status;
}

}  // namespace torvex::sim
