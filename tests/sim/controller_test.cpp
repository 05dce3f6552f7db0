#include "sim/controller.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "sim/sensors.h"
#include "sim_process.h"

namespace torvex::sim {
namespace {

using testing::FromHex;
using testing::WithCrc;
using Kind = Controller::Outcome::Kind;

class ControllerTest : public ::testing::Test {
 protected:
  Controller controller_{Eeprom::Defaults(), Plant(7, true), 7};

  Bytes Answer(const Bytes& request) { return controller_.Handle(request, 0).answer; }
  std::uint16_t Register(std::uint16_t address) {
    return controller_.Registers(0)[address - kFirstRegister];
  }
};

TEST_F(ControllerTest, AnswersTheToolsPollsWithTheirFullLength) {
  const Bytes status = Answer(FromHex("07 03 0B B8 00 5A 47 96"));
  ASSERT_EQ(status.size(), 185u);
  EXPECT_EQ(Bytes(status.begin(), status.begin() + 3), FromHex("07 03 B4"));
  EXPECT_TRUE(CrcMatches(status));

  const Bytes converter = Answer(FromHex("07 03 0C 0C 00 40 87 0F"));
  ASSERT_EQ(converter.size(), 133u);
  EXPECT_EQ(Bytes(converter.begin(), converter.begin() + 3), FromHex("07 03 80"));
  // The two blocks overlap in registers 3084-3089 and must agree there.
  EXPECT_TRUE(std::equal(converter.begin() + 3, converter.begin() + 15, status.begin() + 3 + 2 * 84));

  EXPECT_EQ(Answer(FromHex("07 06 0B B8 00 01 CA 6D")), FromHex("07 06 0B B8 00 01 CA 6D"));
}

TEST_F(ControllerTest, ReadsBackWhatWasWrittenAndLoopsOutputsToInputs) {
  Answer(FromHex("07 06 0B B8 00 02 8A 6C"));  // transaction code 2
  // Discrete outputs 16 and 15 on: 3001 = 0x0001, 3002 = 0x8000.
  const Bytes written = Answer(WithCrc({7, 16, 0x0B, 0xB9, 0, 2, 4, 0x00, 0x01, 0x80, 0x00}));
  EXPECT_EQ(written, WithCrc({7, 16, 0x0B, 0xB9, 0, 2}));
  EXPECT_EQ(Answer(WithCrc({7, 3, 0x0B, 0xB9, 0, 2})), WithCrc({7, 3, 4, 0x00, 0x01, 0x80, 0x00}));

  EXPECT_EQ(Register(3000), 2);
  EXPECT_EQ(Register(3042), 0x0001);  // inputs 16-31
  EXPECT_EQ(Register(3043), 0x8000);  // inputs 0-15
  EXPECT_EQ(Register(3050), 0x0105);
  EXPECT_EQ(Register(3051), 0x020E);

  // Analog output 3 lands in 3005 and leaves the discrete outputs alone.
  Answer(WithCrc({7, 16, 0x0B, 0xBD, 0, 1, 2, 0x12, 0x34}));
  EXPECT_EQ(Register(3005), 0x1234);
  EXPECT_EQ(Register(3043), 0x8000);
}

TEST_F(ControllerTest, RefusesWhatTheControllerCannotDo) {
  struct Case {
    const char* what;
    Bytes request;
    std::uint8_t code;
  };
  const Case cases[] = {
      {"unknown function", WithCrc({7, 4, 0x0B, 0xB8, 0, 1}), kIllegalFunction},
      {"read of no register", WithCrc({7, 3, 0x0B, 0xB8, 0, 0}), kIllegalDataValue},
      {"read of 126 registers", WithCrc({7, 3, 0x0B, 0xB8, 0, 126}), kIllegalDataValue},
      {"read below the map", WithCrc({7, 3, 0x0B, 0xB7, 0, 1}), kIllegalDataAddress},
      {"read past the map", WithCrc({7, 3, 0x0C, 0x4B, 0, 2}), kIllegalDataAddress},
      {"write to a measured register", WithCrc({7, 6, 0x0B, 0xC2, 0, 1}), kIllegalDataAddress},
      {"block write past 3009", WithCrc({7, 16, 0x0B, 0xC1, 0, 2, 4, 0, 0, 0, 0}), kIllegalDataAddress},
      {"byte count not twice the count", WithCrc({7, 16, 0x0B, 0xB9, 0, 2, 2, 0, 0}), kIllegalDataValue},
      {"EEPROM read of 0 bytes", WithCrc({7, 100, 0, 0, 0}), kIllegalDataValue},
      {"EEPROM read of 41 bytes", WithCrc({7, 100, 0, 0, 41}), kIllegalDataValue},
      {"EEPROM read past byte 96", WithCrc({7, 100, 0, 0x60, 2}), kIllegalDataAddress},
      {"EEPROM write past byte 96", WithCrc({7, 101, 0, 0x60, 2, 1, 2}), kIllegalDataAddress},
      {"EEPROM write shorter than n", WithCrc({7, 101, 0, 0, 2, 1}), kIllegalDataValue},
  };
  for (const Case& c : cases) {
    const Controller::Outcome outcome = controller_.Handle(c.request, 0);
    EXPECT_EQ(outcome.kind, Kind::kRefused) << c.what;
    EXPECT_EQ(outcome.answer, ExceptionAnswer(7, c.request[1], c.code)) << c.what;
  }
  // The largest legal read reaches the last register.
  EXPECT_EQ(Answer(WithCrc({7, 3, 0x0C, 0x4A, 0, 2})).size(), 9u);
  EXPECT_EQ(Register(3009), 0) << "a refused block write must not have written anything";
}

TEST(ControllerEeprom, ParameterFramesOfTheToolGetTheirExactAnswers) {
  Controller controller(Eeprom::Defaults(), Plant(1, true), 1);
  auto answer = [&](std::string_view request) { return controller.Handle(FromHex(request), 0).answer; };

  // Read of all parameters: three blocks, 40 + 40 + 17 bytes of the stored image.
  const Eeprom defaults = Eeprom::Defaults();
  const auto& image = defaults.Bytes();
  const Bytes first = answer("01 64 00 00 28 06 EE");
  ASSERT_EQ(first.size(), 47u);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 40, first.begin() + 5));
  EXPECT_EQ(answer("01 64 00 28 28 18 EE").size(), 47u);
  const Bytes last = answer("01 64 00 50 11 FA FC");
  ASSERT_EQ(last.size(), 24u);
  EXPECT_EQ(last[21], 7) << "the stored slave address";

  // Writes answer with the bytes now stored; reads then give exactly these frames.
  EXPECT_EQ(answer("01 65 00 60 01 05 8C 4F"), WithCrc({1, 101, 0, 0x60, 1, 5}));
  EXPECT_EQ(answer("01 64 00 60 01 EF 30"), FromHex("01 64 00 60 01 05 B1 8F"));
  EXPECT_EQ(answer("01 65 00 00 02 00 7B E3 D6"), WithCrc({1, 101, 0, 0, 2, 0x00, 0x7B}));
  const Controller::Outcome write = controller.Handle(WithCrc({1, 101, 0, 0, 2, 0xFF, 0xFB}), 0);
  EXPECT_TRUE(write.eepromChanged);
  EXPECT_EQ(answer("01 64 00 00 02 87 31"), FromHex("01 64 00 00 02 FF FB A2 57"));
  EXPECT_EQ(controller.Address(), 1) << "a new stored address waits for the next start";
}

TEST(ControllerEeprom, SensorTypeWrittenToTheEepromShapesTheChannelAtOnce) {
  Controller controller(Eeprom::Defaults(), Plant(3, true), 7);
  // AIN1 input 14 is switched off by default: both its values read 0.
  EXPECT_EQ(controller.Registers(0)[10 + 14], 0);
  controller.Handle(WithCrc({7, 101, 0, 16 + 2 * 14, 2, 0, kSensorCurrentLoop}), 0);
  const auto regs = controller.Registers(0);
  const auto percent = static_cast<std::int16_t>(regs[10 + 14]);
  const auto microamps = static_cast<std::int16_t>(regs[52 + 14]);
  EXPECT_GT(percent, 0);
  EXPECT_LE(percent, 10000);
  EXPECT_NEAR(microamps, 4000 + 1.6 * percent, 2);
}

TEST(ControllerAddressing, StaysSilentForOthersBadFramesAndBroadcasts) {
  Controller controller(Eeprom::Defaults(), Plant(3, true), 7);
  EXPECT_EQ(controller.Handle(FromHex("08 06 0B B8 00 01 CA 6D"), 0).kind, Kind::kBadFrame);
  EXPECT_EQ(controller.Handle(WithCrc({8, 6, 0x0B, 0xB8, 0, 9}), 0).kind, Kind::kNotForUs);
  EXPECT_EQ(controller.Registers(0)[0], 0);

  // A broadcast write is carried out without an answer; a broadcast read is not answered either.
  const Controller::Outcome broadcast = controller.Handle(WithCrc({0, 6, 0x0B, 0xB8, 0, 9}), 0);
  EXPECT_EQ(broadcast.kind, Kind::kBroadcast);
  EXPECT_TRUE(broadcast.answer.empty());
  EXPECT_EQ(controller.Registers(0)[0], 9);
  EXPECT_TRUE(controller.Handle(WithCrc({0, 3, 0x0B, 0xB8, 0, 1}), 0).answer.empty());
}

// The controller on the loop-back bench: outputs written through registers, the wired inputs
// read back through registers, as the tool's checkout does it.
Controller Unit(UnitFaults faults = {}, bool frozen = true) {
  return Controller(Eeprom::Defaults(), Plant(5, frozen), 7, std::move(faults));
}

void WriteOutputs(Controller& unit, std::uint16_t first, const std::vector<std::uint16_t>& values) {
  Bytes frame{7, kWriteMultipleRegisters};
  AppendWord(frame, first);
  AppendWord(frame, static_cast<std::uint16_t>(values.size()));
  frame.push_back(static_cast<std::uint8_t>(2 * values.size()));
  for (std::uint16_t v : values) AppendWord(frame, v);
  AppendCrc(frame);
  ASSERT_EQ(unit.Handle(frame, 0).kind, Kind::kAnswered);
}

// Register image offsets of analog channel c's values and its converter signal reading.
constexpr std::size_t SensorAt(std::size_t c) { return 10 + c; }
constexpr std::size_t InputAt(std::size_t c) { return 52 + c; }
constexpr std::size_t SignalAt(std::size_t c) { return 84 + (c / 16) * 32 + c % 16; }
std::int16_t Signed(std::uint16_t raw) { return static_cast<std::int16_t>(raw); }

TEST(Bench, CurrentOutputsDriveTheLoopsOfAin2Inputs10To13) {
  const std::uint16_t codes[] = {0, 32768, 65535, 16384};
  const double microamps[] = {4000, 12000, 20000, 8000};
  const double hundredthsOfPercent[] = {0, 5000, 10000, 2500};
  for (const bool frozen : {true, false}) {
    Controller unit = Unit({}, frozen);
    WriteOutputs(unit, 3002, {codes[0], codes[1], codes[2], codes[3]});
    for (std::int64_t tMs : {0, 1'234, 567'890}) {
      const RegisterImage regs = unit.Registers(tMs);
      for (std::size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE("output " + std::to_string(k + 1) + (frozen ? " frozen" : " live") + " t " + std::to_string(tMs));
        const std::size_t c = 16 + 10 + k;
        // Frozen, the loop reads the output exactly; live, within the measurement noise.
        const double tolerance = frozen ? 0 : 4;
        EXPECT_NEAR(Signed(regs[InputAt(c)]), microamps[k], tolerance);
        EXPECT_NEAR(Signed(regs[SensorAt(c)]), hundredthsOfPercent[k], tolerance);
        EXPECT_NEAR(Signed(regs[SignalAt(c)]), microamps[k] * 1.5, 1 + tolerance);  // 150 Ohm, 0.1 mV
      }
    }
  }
}

TEST(Bench, VoltageOutputsDriveTheThermocouplesOfAin2Inputs6To9ThroughTheDivider) {
  Controller unit = Unit();
  // 5.0 V, 0 V, 10 V, and a code past the 12-bit converter, which stops at its top.
  WriteOutputs(unit, 3006, {2048, 0, 4095, 65535});
  const double emfUnits[] = {12503, 0, 25000, 25000};  // 2 uV: volts / 200
  const RegisterImage regs = unit.Registers(0);
  for (std::size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE("output " + std::to_string(k + 5));
    const std::size_t c = 16 + 6 + k;
    const double emfMv = Signed(regs[InputAt(c)]) * 0.002;
    const double celsius = Signed(regs[SensorAt(c)]) / 10.0;
    const double coldJunction = Signed(regs[SignalAt(c) + 16]) / 100.0;  // 10 mV/degC in 0.1 mV
    EXPECT_NEAR(Signed(regs[InputAt(c)]), emfUnits[k], 1);
    EXPECT_NEAR(TypeKMillivolts(celsius) - TypeKMillivolts(coldJunction), emfMv, 0.01);
    EXPECT_NEAR(Signed(regs[SignalAt(c)]) / 10.0, emfMv, 0.1);
  }
  // 25 mV over a cold junction near 30 degC: a little over 600 degC.
  EXPECT_GT(Signed(regs[SensorAt(22)]), 6000);
  EXPECT_LT(Signed(regs[SensorAt(22)]), 6600);
}

TEST(Bench, AChannelOfAnotherSensorTypeIsNotWired) {
  struct Case {
    std::size_t channel;
    std::int16_t type;
  };
  const Case cases[] = {
      {16 + 10, kSensorPt100},        // a current loop channel made a resistance thermometer
      {16 + 13, kSensorOff},
      {16 + 6, kSensorCurrentLoop},   // a divider channel made a current loop: it lives its own
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("channel " + std::to_string(c.channel));
    Controller unit = Unit();
    const std::size_t at = SensorTypeAddress(c.channel);
    unit.Handle(WithCrc({7, 101, 0, static_cast<std::uint8_t>(at), 2, 0, static_cast<std::uint8_t>(c.type)}), 0);
    const RegisterImage idle = unit.Registers(0);
    WriteOutputs(unit, 3002, std::vector<std::uint16_t>(8, 0xFFFF));
    const RegisterImage driven = unit.Registers(0);
    EXPECT_EQ(driven[SensorAt(c.channel)], idle[SensorAt(c.channel)]);
    EXPECT_EQ(driven[InputAt(c.channel)], idle[InputAt(c.channel)]);
    if (c.type == kSensorPt100) {
      EXPECT_GT(Signed(driven[SensorAt(c.channel)]), 10500) << "reads as a Pt100, in 0.01 Ohm";
    }
  }
}

TEST(UnitFaultsTest, DiscreteInputFaultsChangeExactlyTheirInputs) {
  struct Case {
    const char* what;
    UnitFaults faults;
    std::uint16_t outputsHigh, outputsLow;  // 3001, 3002
    std::uint16_t inputsHigh, inputsLow;    // 3042, 3043 as read
  };
  UnitFaults stuck3;
  stuck3.stuckInputs = 1u << 2;
  UnitFaults stuck3And32 = stuck3;
  stuck3And32.stuckInputs |= 1u << 31;
  UnitFaults short1And18;
  short1And18.shortedInputs = {{0, 17}};
  UnitFaults chain;
  chain.shortedInputs = {{1, 2}, {0, 1}};
  UnitFaults shortIntoStuck = stuck3;
  shortIntoStuck.shortedInputs = {{0, 2}};
  const Case cases[] = {
      {"stuck input, all outputs on", stuck3, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFB},
      {"stuck input, its output alone on", stuck3, 0, 0x0004, 0, 0},
      {"two stuck inputs", stuck3And32, 0xFFFF, 0xFFFF, 0x7FFF, 0xFFFB},
      {"short, first output on", short1And18, 0, 0x0001, 0x0002, 0x0001},
      {"short, second output on", short1And18, 0x0002, 0, 0x0002, 0x0001},
      {"short, another output on", short1And18, 0, 0x0002, 0, 0x0002},
      {"short, both outputs off", short1And18, 0, 0, 0, 0},
      {"a chain of shorts", chain, 0, 0x0001, 0, 0x0007},
      {"a short onto a stuck input", shortIntoStuck, 0, 0x0001, 0, 0x0001},
  };
  for (const Case& c : cases) {
    Controller unit = Unit(c.faults);
    WriteOutputs(unit, 3001, {c.outputsHigh, c.outputsLow});
    const RegisterImage regs = unit.Registers(0);
    EXPECT_EQ(regs[42], c.inputsHigh) << c.what;
    EXPECT_EQ(regs[43], c.inputsLow) << c.what;
  }
}

TEST(UnitFaultsTest, AnalogErrorShiftsOnlyItsOwnOutputsChannel) {
  UnitFaults faults;
  faults.analogErrorPercent[1] = 5;     // current output 2 -> AIN2 input 11
  faults.analogErrorPercent[5] = -2.5;  // voltage output 2 -> AIN2 input 7
  Controller healthy = Unit(), faulty = Unit(faults);
  for (Controller* unit : {&healthy, &faulty}) {
    WriteOutputs(*unit, 3002, {32768, 32768, 32768, 32768, 2048, 2048, 2048, 2048});
  }
  const RegisterImage good = healthy.Registers(0), bad = faulty.Registers(0);
  EXPECT_NEAR(Signed(bad[InputAt(27)]), Signed(good[InputAt(27)]) * 1.05, 1);    // 12.6 mA
  EXPECT_NEAR(Signed(bad[SensorAt(27)]), (12.6 - 4) / 16 * 10000, 1);
  EXPECT_NEAR(Signed(bad[InputAt(23)]), Signed(good[InputAt(23)]) * 0.975, 1);
  EXPECT_LT(bad[SensorAt(23)], good[SensorAt(23)]);
  std::set<std::size_t> differing;
  for (std::size_t i = 0; i < good.size(); ++i) {
    if (good[i] != bad[i]) differing.insert(i);
  }
  EXPECT_EQ(differing, (std::set<std::size_t>{SensorAt(23), SensorAt(27), InputAt(23), InputAt(27),
                                              SignalAt(23), SignalAt(27)}));
}

}  // namespace
}  // namespace torvex::sim
