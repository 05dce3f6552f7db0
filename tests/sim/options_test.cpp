#include "sim/options.h"

#include <gtest/gtest.h>

namespace torvex::sim {
namespace {

ParsedOptions Parse(std::vector<std::string_view> args) { return ParseOptions(args); }

TEST(Options, ReadsEveryOptionInBothForms) {
  const ParsedOptions p = Parse({"--link", "ports/com1", "--mode=9600,E,7,1", "--address", "12",
                                 "--eeprom", "e.txt", "--seed=42", "--frozen", "--trace", "--line-timing",
                                 "--silent-every", "5", "--corrupt-every=6", "--split-every", "7",
                                 "--noise-every", "8", "--delay-ms", "0", "--exception", "3:4",
                                 "--exception=101:2", "--echo", "--strict-mode", "--stuck-input", "3",
                                 "--stuck-input=32", "--short-inputs", "1,18", "--short-inputs=5,4",
                                 "--analog-error", "2:5", "--analog-error=6:-2.5", "--analog-error", "8:+0.5",
                                 "--analog-error", "8:100"});
  ASSERT_TRUE(p.options) << p.error;
  const Options& o = *p.options;
  EXPECT_EQ(o.link, "ports/com1");
  EXPECT_EQ(ToString(o.mode), "9600,e,7,1");
  EXPECT_EQ(o.address, 12);
  EXPECT_EQ(o.eeprom, "e.txt");
  EXPECT_EQ(o.seed, 42u);
  EXPECT_TRUE(o.frozen && o.trace && o.lineTiming && o.strictMode);
  EXPECT_EQ(o.faults.silentEvery, 5u);
  EXPECT_EQ(o.faults.corruptEvery, 6u);
  EXPECT_EQ(o.faults.splitEvery, 7u);
  EXPECT_EQ(o.faults.noiseEvery, 8u);
  EXPECT_EQ(o.faults.delayMs, 0u);
  EXPECT_TRUE(o.faults.echo);
  EXPECT_EQ(o.faults.exceptions, (std::map<std::uint8_t, std::uint8_t>{{3, 4}, {101, 2}}));
  // The unit's faults count inputs and outputs from 0, as the registers do.
  EXPECT_EQ(o.unitFaults.stuckInputs, (1u << 2) | (1u << 31));
  EXPECT_EQ(o.unitFaults.shortedInputs,
            (std::vector<std::pair<std::uint8_t, std::uint8_t>>{{0, 17}, {4, 3}}));
  EXPECT_EQ(o.unitFaults.analogErrorPercent, (std::array<double, 8>{0, 5, 0, 0, 0, -2.5, 0, 100}))
      << "the last --analog-error for an output counts";

  const ParsedOptions defaults = Parse({});
  ASSERT_TRUE(defaults.options);
  EXPECT_EQ(ToString(defaults.options->mode), "115200,n,8,2");
  EXPECT_FALSE(defaults.options->address) << "the EEPROM's address unless told otherwise";
  EXPECT_FALSE(defaults.options->lineTiming) << "a pseudo-terminal's pace unless asked";
  EXPECT_FALSE(defaults.options->faults.echo);
  EXPECT_FALSE(defaults.options->strictMode) << "any master's mode unless asked";
  EXPECT_TRUE(Parse({"--link", "x", "-h"}).help);
}

TEST(Options, RefusesWithAMessageThatNamesTheProblem) {
  struct Case {
    std::vector<std::string_view> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--link", "a", "--device", "b"}, "exclude each other"},
      {{"--listen", "5020", "--link", "a"}, "--listen excludes --link and --device"},
      {{"--device", "b", "--listen", "5020"}, "--listen excludes --link and --device"},
      {{"--listen", "65536"}, "--listen needs [HOST:]PORT"},
      {{"--listen", "host:"}, "--listen needs [HOST:]PORT"},
      {{"--listen", "::1:502"}, "--listen needs [HOST:]PORT"},  // IPv6 goes in brackets
      {{"--listen", "[::1]"}, "--listen needs [HOST:]PORT"},
      {{"--listen", "[]:502"}, "--listen needs [HOST:]PORT"},
      {{"--modbus-tcp"}, "--modbus-tcp needs --listen"},
      {{"--listen", "502", "--wrong-transaction-every", "2"}, "needs --modbus-tcp"},
      {{"--listen", "502", "--modbus-tcp", "--wrong-transaction-every", "0"}, "--wrong-transaction-every needs a whole number"},
      {{"--address", "0"}, "--address needs"},
      {{"--address", "248"}, "--address needs"},
      {{"--silent-every", "0"}, "--silent-every needs"},
      {{"--split-every", "x"}, "--split-every needs"},
      {{"--delay-ms", "-1"}, "--delay-ms needs"},
      {{"--exception", "3"}, "FUNCTION:CODE"},
      {{"--exception", "128:1"}, "FUNCTION:CODE"},
      {{"--exception", "3:0"}, "FUNCTION:CODE"},
      {{"--mode", "115200,n,8"}, "--mode"},
      {{"--stuck-input", "0"}, "--stuck-input needs a discrete input from 1 to 32"},
      {{"--stuck-input", "33"}, "--stuck-input needs"},
      {{"--stuck-input", "3,4"}, "--stuck-input needs"},
      {{"--short-inputs", "3"}, "--short-inputs needs N,M"},
      {{"--short-inputs", "3,3"}, "two different"},
      {{"--short-inputs", "0,4"}, "--short-inputs needs"},
      {{"--short-inputs", "3,33"}, "--short-inputs needs"},
      {{"--short-inputs", "3,4,5"}, "--short-inputs needs"},
      {{"--analog-error", "2"}, "--analog-error needs K:PERCENT"},
      {{"--analog-error", "0:5"}, "--analog-error needs"},
      {{"--analog-error", "9:5"}, "--analog-error needs"},
      {{"--analog-error", "2:"}, "--analog-error needs"},
      {{"--analog-error", "2:100.5"}, "--analog-error needs"},
      {{"--analog-error", "2:-101"}, "--analog-error needs"},
      {{"--analog-error", "2:nan"}, "--analog-error needs"},
      {{"--analog-error", "2:inf"}, "--analog-error needs"},
      {{"--analog-error", "2:5%"}, "--analog-error needs"},
      {{"--analog-error", "2:1e1"}, "--analog-error needs"},
      {{"--analog-error", "2:+-5"}, "--analog-error needs"},
      {{"--analog-error", "2:5,5"}, "--analog-error needs"},
      {{"--seed"}, "--seed needs a value"},
      {{"--listen", "502", "--gateway"}, "--gateway needs --modbus-tcp"},
      {{"--listen", "502", "--modbus-tcp", "--gateway-no-path"}, "--gateway-no-path needs --gateway"},
      {{"--listen", "502", "--modbus-tcp", "--gateway-timeout-ms", "300"}, "--gateway-timeout-ms needs --gateway"},
      {{"--listen", "502", "--modbus-tcp", "--gateway", "--gateway-timeout-ms", "60001"}, "--gateway-timeout-ms needs milliseconds"},
      {{"--close-after-answer", "--link", "a"}, "--close-after-answer needs --listen"},
      {{"--frozen=1"}, "takes no value"},
      {{"--strict-mode=yes"}, "takes no value"},
      {{"--bogus"}, "unknown option --bogus"},
      {{"com1"}, "unexpected argument"},
  };
  for (const Case& c : cases) {
    const ParsedOptions p = Parse(c.args);
    EXPECT_FALSE(p.options) << c.error;
    EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
  }
}

TEST(Options, ListenTakesAnOptionalHostAndAPort) {
  struct Case {
    const char* value;
    ListenAddress address;
  };
  const Case cases[] = {
      {"5020", {"", 5020}},  // every address, as a device server listens
      {":5020", {"", 5020}},
      {"127.0.0.1:0", {"127.0.0.1", 0}},
      {"localhost:502", {"localhost", 502}},
      {"plc-bench.local:65535", {"plc-bench.local", 65535}},
      {"[::1]:5020", {"::1", 5020}},
  };
  for (const Case& c : cases) {
    const ParsedOptions p = Parse({"--listen", c.value});
    ASSERT_TRUE(p.options) << c.value << ": " << p.error;
    EXPECT_EQ(p.options->listen, c.address) << c.value;
    EXPECT_FALSE(p.options->modbusTcp);
  }
  const ParsedOptions tcp = Parse({"--listen=502", "--modbus-tcp", "--wrong-transaction-every", "3"});
  ASSERT_TRUE(tcp.options) << tcp.error;
  EXPECT_TRUE(tcp.options->modbusTcp);
  EXPECT_EQ(tcp.options->faults.wrongTransactionEvery, 3u);
  EXPECT_FALSE(Parse({}).options->listen) << "a pseudo-terminal unless asked";

  const ParsedOptions gateway = Parse({"--listen=502", "--modbus-tcp", "--gateway", "--gateway-no-path",
                                       "--gateway-timeout-ms=0", "--close-after-answer"});
  ASSERT_TRUE(gateway.options) << gateway.error;
  EXPECT_TRUE(gateway.options->gateway.on && gateway.options->gateway.noPath && gateway.options->closeAfterAnswer);
  EXPECT_EQ(gateway.options->gateway.timeoutMs, 0u);
  const ParsedOptions plain = Parse({"--listen=502", "--modbus-tcp", "--gateway"});
  ASSERT_TRUE(plain.options) << plain.error;
  EXPECT_EQ(plain.options->gateway.timeoutMs, 300u) << "a usual gateway's serial timeout";
  EXPECT_FALSE(plain.options->gateway.noPath || plain.options->closeAfterAnswer);
}

TEST(LineMode, ParsesModeStringsAndTimesTheFrameGap) {
  struct Case {
    const char* text;
    const char* canonical;  // nullptr: refused
    std::int64_t gapUs;
  };
  const Case cases[] = {
      {"115200,n,8,2", "115200,n,8,2", 1750},  // fixed above 19200 baud
      {"9600,N,8,2", "9600,n,8,2", 4011},      // 3.5 x 11 bits
      {"19200,e,8,1", "19200,e,8,1", 2006},
      {"1200,o,7,1.5", "1200,o,7,1.5", 30625},
      {"", nullptr, 0},
      {"9600,x,8,1", nullptr, 0},
      {"9600,n,9,1", nullptr, 0},
      {"9600,n,8,3", nullptr, 0},
      {"9600,n,8,1,1", nullptr, 0},
      {"fast,n,8,1", nullptr, 0},
  };
  for (const Case& c : cases) {
    const auto mode = ParseLineMode(c.text);
    if (!c.canonical) {
      EXPECT_FALSE(mode) << c.text;
      continue;
    }
    ASSERT_TRUE(mode) << c.text;
    EXPECT_EQ(ToString(*mode), c.canonical);
    EXPECT_EQ(FrameGapMicros(*mode), c.gapUs) << c.text;
  }
}

}  // namespace
}  // namespace torvex::sim
