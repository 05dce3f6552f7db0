#include "sim/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>

namespace torvex::sim {
namespace {

template <typename T>
std::optional<T> ParseNumber(std::string_view text, T low, T high) {
  T value{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

constexpr std::string_view kValueOptions[] = {
    "--link", "--device", "--listen", "--mode", "--address", "--eeprom", "--seed",
    "--silent-every", "--corrupt-every", "--split-every", "--noise-every", "--delay-ms",
    "--exception", "--wrong-transaction-every", "--stuck-input", "--short-inputs",
    "--analog-error", "--gateway-timeout-ms"};

// A signed decimal percentage, "+" allowed; nan and infinities are no percentage.
std::optional<double> ParsePercent(std::string_view text, double low, double high) {
  const bool plus = text.starts_with('+');
  if (plus) text.remove_prefix(1);
  if (plus && text.starts_with('-')) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (!(value >= low && value <= high)) return std::nullopt;
  return value;
}

// "[HOST:]PORT"; an IPv6 address goes in brackets ("[::1]:5020"), as in a URL, since its own
// colons would hide the port's.
std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
  ListenAddress address;
  std::string_view port = text;
  if (text.starts_with("[")) {
    const auto close = text.find("]:");
    if (close == std::string_view::npos || close == 1) return std::nullopt;
    address.host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
    address.host = text.substr(0, colon);
    if (address.host.find(':') != std::string::npos) return std::nullopt;
    port = text.substr(colon + 1);
  }
  const auto number = ParseNumber<unsigned>(port, 0, 65535);
  if (!number) return std::nullopt;
  address.port = static_cast<std::uint16_t>(*number);
  return address;
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
  Options o;
  bool timeoutGiven = false;
  auto fail = [](std::string message) { return ParsedOptions{std::nullopt, false, std::move(message)}; };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::optional<std::string_view> inlineValue;
    if (name.starts_with("--")) {
      if (const auto eq = name.find('='); eq != std::string_view::npos) {
        inlineValue = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
    }
    if (name == "-h" || name == "--help") return {std::nullopt, true, {}};

    if (name == "--frozen" || name == "--trace" || name == "--line-timing" || name == "--echo" ||
        name == "--modbus-tcp" || name == "--strict-mode" || name == "--gateway" ||
        name == "--gateway-no-path" || name == "--close-after-answer") {
      if (inlineValue) return fail(std::string(name) + " takes no value");
      (name == "--frozen"               ? o.frozen
       : name == "--trace"              ? o.trace
       : name == "--echo"               ? o.faults.echo
       : name == "--modbus-tcp"         ? o.modbusTcp
       : name == "--strict-mode"        ? o.strictMode
       : name == "--gateway"            ? o.gateway.on
       : name == "--gateway-no-path"    ? o.gateway.noPath
       : name == "--close-after-answer" ? o.closeAfterAnswer
                                        : o.lineTiming) = true;
      continue;
    }

    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) == std::end(kValueOptions)) {
      if (name.starts_with("-")) return fail("unknown option " + std::string(name));
      return fail("unexpected argument \"" + std::string(name) + "\"");
    }
    // Everything else takes a value, as "--name VALUE" or "--name=VALUE".
    if (!inlineValue && i + 1 == args.size()) return fail(std::string(name) + " needs a value");
    const std::string_view value = inlineValue ? *inlineValue : args[++i];

    auto every = [&](std::uint32_t& field) -> std::optional<std::string> {
      const auto n = ParseNumber<std::uint32_t>(value, 1, 1'000'000);
      if (!n) return std::string(name) + " needs a whole number from 1 to 1000000, not \"" + std::string(value) + "\"";
      field = *n;
      return std::nullopt;
    };

    std::optional<std::string> error;
    if (name == "--link") {
      if (value.empty()) return fail("--link needs a path");
      o.link = value;
    } else if (name == "--device") {
      if (value.empty()) return fail("--device needs a path");
      o.device = value;
    } else if (name == "--listen") {
      o.listen = ParseListenAddress(value);
      if (!o.listen) {
        return fail("--listen needs [HOST:]PORT with a port from 0 to 65535 (e.g. 5020, "
                    "127.0.0.1:5020, [::1]:5020), not \"" + std::string(value) + "\"");
      }
    } else if (name == "--mode") {
      const auto mode = ParseLineMode(value);
      if (!mode) return fail("--mode \"" + std::string(value) + "\" is not speed,parity,data bits,stop bits (e.g. 115200,n,8,2)");
      o.mode = *mode;
    } else if (name == "--address") {
      const auto a = ParseNumber<unsigned>(value, 1, 247);
      if (!a) return fail("--address needs a slave address from 1 to 247, not \"" + std::string(value) + "\"");
      o.address = static_cast<std::uint8_t>(*a);
    } else if (name == "--eeprom") {
      if (value.empty()) return fail("--eeprom needs a file name");
      o.eeprom = value;
    } else if (name == "--seed") {
      const auto s = ParseNumber<std::uint64_t>(value, 0, std::numeric_limits<std::uint64_t>::max());
      if (!s) return fail("--seed needs a whole number, not \"" + std::string(value) + "\"");
      o.seed = *s;
    } else if (name == "--silent-every") {
      error = every(o.faults.silentEvery);
    } else if (name == "--corrupt-every") {
      error = every(o.faults.corruptEvery);
    } else if (name == "--split-every") {
      error = every(o.faults.splitEvery);
    } else if (name == "--noise-every") {
      error = every(o.faults.noiseEvery);
    } else if (name == "--wrong-transaction-every") {
      error = every(o.faults.wrongTransactionEvery);
    } else if (name == "--delay-ms") {
      const auto ms = ParseNumber<std::uint32_t>(value, 0, 60'000);
      if (!ms) return fail("--delay-ms needs milliseconds from 0 to 60000, not \"" + std::string(value) + "\"");
      o.faults.delayMs = *ms;
    } else if (name == "--gateway-timeout-ms") {
      const auto ms = ParseNumber<std::uint32_t>(value, 0, 60'000);
      if (!ms) return fail("--gateway-timeout-ms needs milliseconds from 0 to 60000, not \"" + std::string(value) + "\"");
      o.gateway.timeoutMs = *ms;
      timeoutGiven = true;
    } else if (name == "--exception") {
      const auto colon = value.find(':');
      const auto function = ParseNumber<unsigned>(value.substr(0, colon), 1, 127);
      const auto code = colon == std::string_view::npos
                            ? std::nullopt
                            : ParseNumber<unsigned>(value.substr(colon + 1), 1, 255);
      if (!function || !code) {
        return fail("--exception needs FUNCTION:CODE, a function 1-127 and a code 1-255 (e.g. 3:4), not \"" + std::string(value) + "\"");
      }
      o.faults.exceptions[static_cast<std::uint8_t>(*function)] = static_cast<std::uint8_t>(*code);
    } else if (name == "--stuck-input") {
      const auto n = ParseNumber<unsigned>(value, 1, 32);
      if (!n) return fail("--stuck-input needs a discrete input from 1 to 32, not \"" + std::string(value) + "\"");
      o.unitFaults.stuckInputs |= 1u << (*n - 1);
    } else if (name == "--short-inputs") {
      const auto comma = value.find(',');
      const auto a = ParseNumber<unsigned>(value.substr(0, comma), 1, 32);
      const auto b = comma == std::string_view::npos ? std::nullopt
                                                     : ParseNumber<unsigned>(value.substr(comma + 1), 1, 32);
      if (!a || !b || *a == *b) {
        return fail("--short-inputs needs N,M, two different discrete inputs from 1 to 32 (e.g. 3,4), not \"" +
                    std::string(value) + "\"");
      }
      o.unitFaults.shortedInputs.emplace_back(static_cast<std::uint8_t>(*a - 1), static_cast<std::uint8_t>(*b - 1));
    } else if (name == "--analog-error") {
      const auto colon = value.find(':');
      const auto output = ParseNumber<unsigned>(value.substr(0, colon), 1, 8);
      const auto percent = colon == std::string_view::npos ? std::nullopt
                                                           : ParsePercent(value.substr(colon + 1), -100, 100);
      if (!output || !percent) {
        return fail("--analog-error needs K:PERCENT, an analog output 1-8 and a percentage from -100 to 100 "
                    "(e.g. 2:5, 6:-2.5), not \"" + std::string(value) + "\"");
      }
      o.unitFaults.analogErrorPercent[*output - 1] = *percent;
    }
    if (error) return fail(*error);
  }
  if (!o.link.empty() && !o.device.empty()) return fail("--link and --device exclude each other");
  if (o.listen && (!o.link.empty() || !o.device.empty())) {
    return fail("--listen excludes --link and --device: the simulator serves either a line or TCP");
  }
  if (o.modbusTcp && !o.listen) return fail("--modbus-tcp needs --listen [HOST:]PORT");
  if (o.gateway.on && !o.modbusTcp) return fail("--gateway needs --modbus-tcp: a gateway serves Modbus TCP");
  if ((o.gateway.noPath || timeoutGiven) && !o.gateway.on) {
    return fail(std::string(o.gateway.noPath ? "--gateway-no-path" : "--gateway-timeout-ms") + " needs --gateway");
  }
  if (o.closeAfterAnswer && !o.listen) return fail("--close-after-answer needs --listen [HOST:]PORT");
  if (o.faults.wrongTransactionEvery != 0 && !o.modbusTcp) {
    return fail("--wrong-transaction-every needs --modbus-tcp: only a Modbus TCP answer carries "
                "a transaction identifier");
  }
  return {o, false, {}};
}

std::string HelpText() {
  return R"(Usage: torvex-sim [--link PATH | --device PATH | --listen [HOST:]PORT] [OPTION]...

A simulated TORVEX-CPU controller: a Modbus RTU slave on a serial line (or a TCP
server, see --listen) that answers torvex-tp as the real controller does, so the tool
can be learned, demonstrated and tested without hardware. It reads holding registers
3000-3147 (function 3), writes 3000-3009 (functions 6 and 16), reads and writes the 97
EEPROM bytes (functions 100 and 101, at most 40 bytes each) and refuses the rest with
Modbus exception answers: 1 illegal function, 2 illegal data address, 3 illegal data
value.

Its inputs live: temperatures drift on the resistance thermometers and thermocouples,
current loops wander, contacts open and close, each as the sensor type stored in the
EEPROM says; the propeller shaft goes ahead, stops and goes astern in a two-minute
round; the board's temperature sensor drops out now and then.

It stands on the standard loop-back test bench, wired as a bench checkout expects:
  discrete outputs 1-32 -> discrete inputs 1-32
  current outputs 1-4 (analog outputs 1-4, 4-20 mA, registers 3002-3005) -> the
      current loops of AIN2 inputs 10-13: while such an input's sensor type is
      4-20 mA, its loop current is its output's current
  voltage outputs 1-4 (analog outputs 5-8, 0-10 V, registers 3006-3009) -> a 200:1
      divider into AIN2 inputs 6-9: while such an input's sensor type is type K, its
      EMF is its output's voltage / 200 (10 V -> 50 mV) and its temperature what
      that EMF means against the cold junction
A wired input of another sensor type reads as its type says. Register 3002 holds both
discrete outputs 1-16 and analog output 1, as on the controller.

It runs until Ctrl+C (or SIGTERM), then removes its link and prints one line with
what it received and answered.

Line:
  --link PATH        open a pseudo-terminal and make PATH a symbolic link to it; the
                     tool opens COMn through ports/comN in its settings folder, so
                     --link build/bin/ports/com1 makes the simulator COM1 of a built
                     tool, --link ~/.config/torvex-tp/ports/com1 of an installed one.
                     A symbolic link already at PATH is replaced; any other file is
                     left alone.
                     Without --link the pseudo-terminal's own path is printed.
  --device PATH      use an existing serial device (e.g. /dev/ttyUSB0) instead
  --mode MODE        speed,parity,data bits,stop bits (default 115200,n,8,2); parity
                     n, e, o, m or s. A frame ends when its length is complete or after
                     3.5 characters of silence at this speed (1.75 ms above 19200 baud)
  --line-timing      be a real line of that mode: the tool's bytes arrive and the
                     answers leave one character time apart (11 bits a byte at 8N2,
                     10 at 8N1: 185 bytes take 212 ms at 9600 baud), and the line is
                     one half-duplex pair. An answer starts 3.5 characters after its
                     request, and reaches the tool as an adapter hands bytes on: what
                     has passed, once a millisecond. Without it the pseudo-terminal
                     passes bytes at once whatever the mode. The summary then counts
                     the tool's bytes that were on the pair while an answer was on it
  --strict-mode      answer only a tool whose line mode is --mode, as a UART set to
                     another speed or framing hears only garbage: a frame sent in
                     another mode goes unanswered and counts as ignored (--trace says
                     which mode it came in). On a pseudo-terminal the simulator reads
                     the mode the tool gave its end as each frame arrives: the speed,
                     the stop bits and odd, mark or space parity show there, but even
                     parity cannot be told from none on a pseudo-terminal, nor the data
                     bits, so those count as agreeing. With --device the real UART
                     already does this and strict mode changes nothing; over TCP there
                     is no line mode to check and it changes nothing either
  --address N        answer as slave N, 1-247 (default: the address stored in the
                     EEPROM, which is 7 in a new one)

TCP (instead of a line):
  --listen [HOST:]PORT  serve TCP as a serial device server in TCP server mode does:
                     the line's bytes on a connection (RTU over TCP). HOST is an
                     address or a name, [::1] for IPv6; without it every IPv4 address
                     is served. PORT 0 takes a free port, which the start line names.
                     One client at a time: another is refused while one is connected.
                     A frame whose function tells its length is waited for however the
                     connection splits it; the silence of --mode ends the others
  --modbus-tcp       with --listen, serve Modbus TCP instead: requests cut by their
                     MBAP headers, the unit identifier as the slave address, each answer
                     with its request's transaction identifier. A header no Modbus frame
                     can have (protocol not 0, an impossible length) closes its
                     connection. With --line-timing an answer comes when its request
                     and the answer would have crossed the --mode line behind a gateway
  --gateway          with --modbus-tcp, be a gateway with the controller on its own
                     serial line: it passes on one request at a time (the next waits in
                     its queue), and when the controller leaves a request unanswered
                     (another unit identifier, --silent-every, a --delay-ms longer than
                     its timeout) it answers exception 11 (gateway target device failed
                     to respond) once its serial timeout has passed
  --gateway-timeout-ms N  the gateway's serial timeout, 0-60000 ms (default 300)
  --gateway-no-path  with --gateway, answer a unit identifier other than the
                     simulator's at once with exception 10 (gateway path unavailable)
  --close-after-answer  with --listen, close the connection right after each answer
                     has gone out, as some device servers and gateways do; the master
                     connects again for its next request. A request left unanswered
                     keeps the connection

Controller:
  --eeprom FILE      keep the EEPROM in FILE across runs; a missing FILE is created with
                     the default parameters. FILE is the parameter file that torvex-tp
                     saves and loads (menu "Параметры", --read-params, --write-params),
                     one parameter per line:
                       00: 03 E8    # AIN1 Pt100, точка 1 = 100
                     the EEPROM address in hex, a colon, the parameter's bytes in hex;
                     every parameter 00-60 once, in any order; '#' starts a comment. A
                     garbled or incomplete FILE is kept as FILE.bad and replaced by the
                     defaults, with a warning. Without --eeprom every run starts from
                     the defaults and nothing is saved.
  --seed N           make every simulated value reproducible (the seed of each run is
                     printed at start; give it back to see the same run again)
  --frozen           hold every measured value still (for tests and screenshots);
                     written outputs still show on the inputs wired to them, exactly

Faults (requests addressed to the simulator are counted from 1; "every N" hits
requests N, 2N, 3N, ...):
  --silent-every N   leave every Nth request unanswered (and not carried out)
  --corrupt-every N  spoil the CRC of every Nth answer (on Modbus TCP, which has no
                     CRC, its protocol identifier)
  --split-every N    send every Nth answer in two halves 150 ms apart, so the tool
                     gets the head in one 100 ms tick and the tail in the next
  --noise-every N    send 1-3 stray bytes just before every Nth answer (on Modbus TCP
                     the previous answer frame again, as a gateway replaying a stale
                     one)
  --wrong-transaction-every N  (Modbus TCP) give every Nth answer a transaction
                     identifier that is not its request's
  --delay-ms N       answer N ms after each request (0-60000): a slow controller, a
                     gateway or a radio modem. The tool waits for an answer the line
                     time of the exchange plus 50 ms, at least one 100 ms tick; a
                     later answer makes it report no answer and ask again
  --exception FC:CODE  refuse every request with function FC by exception CODE,
                     e.g. --exception 3:4; may be given for several functions
  --echo             send every frame heard straight back before answering it (also
                     one left unanswered), as a 2-wire USB-RS485 adapter returns to the
                     tool what the tool sends (on Modbus TCP the request as received)

Faulty unit (for a bench checkout that must fail; numbered as the tool shows them):
  --stuck-input N    discrete input N (1-32) never reads on, whatever its output; may
                     be given for several inputs
  --short-inputs N,M join discrete inputs N and M (two different ones, 1-32): each
                     reads on when either of their outputs is on; may be given for
                     several pairs, and a chain of shorts joins all its inputs
  --analog-error K:PERCENT  analog output K (1-8) delivers its current or voltage off
                     by PERCENT, -100 to 100 (e.g. 2:5, 6:-2.5): the wired input sees
                     it times 1 + PERCENT/100; given again for an output, the last
                     one counts

Other:
  --trace            print every frame received and sent, in hex, to standard error
  -h, --help         show this text

Examples:
  torvex-sim --link build/bin/ports/com1
  torvex-sim --link build/bin/ports/com1 --eeprom ~/torvex-eeprom.txt
  torvex-sim --link /tmp/com2 --silent-every 5 --trace
  torvex-sim --link build/bin/ports/com1 --stuck-input 7 --analog-error 2:5
  torvex-sim --link build/bin/ports/com1 --mode 9600,n,8,2 --line-timing
  torvex-sim --link build/bin/ports/com1 --mode 19200,o,8,1 --strict-mode
  torvex-sim --device /dev/ttyUSB0 --mode 9600,n,8,2 --address 12
  torvex-sim --listen 5020 --modbus-tcp
  torvex-sim --listen 127.0.0.1:5020 --modbus-tcp --gateway --silent-every 4
  torvex-sim --listen 127.0.0.1:4001 --mode 9600,n,8,2 --line-timing

Exit status: 0 after Ctrl+C or SIGTERM, 1 when the line, the TCP port or the EEPROM
file cannot be used, 2 for a wrong command line.
)";
}

}  // namespace torvex::sim
