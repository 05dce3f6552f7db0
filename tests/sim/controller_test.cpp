#include "sim/controller.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace torvex::sim
