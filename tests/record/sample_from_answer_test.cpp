// Samples are made only from whole status and converter answers, with the types the window
// shows at that moment.
#include <gtest/gtest.h>

#include "record/quantity.h"
#include "samples.h"

namespace torvex::record {
namespace {


TEST(SampleFromAnswer, StatusAnswerCarriesEveryMeasuredValue) {
  ChannelTypes types{};
  test::SetType(types, 0, "2 ");  // Pt100, as the parameter read writes it
  test::SetType(types, 17, "5");
  test::StatusRegisters regs;
  regs.Sensor(0, 10050);
  regs.Input(0, 1234);
  regs.Sensor(17, -500);
  regs.words[1] = 0x8001;  // outputs 16-31: 16 and 31
  regs.words[2] = 0x0004;  // outputs 0-15: 2
  regs.words[42] = 0x0001;  // inputs 16-31: 16
  regs.words[43] = 0x8000;  // inputs 0-15: 15
  regs.words[44] = 47;
  regs.words[45] = 1;  // engine speed 65536 + 2
  regs.words[46] = 2;
  regs.words[48] = 25;
  regs.words[49] = 0x0001;

  const auto sample = SampleFromAnswer(test::ReadAnswer(regs.words, 180).Answer(), types, 42);
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->time, 42);
  const auto& s = std::get<StatusSample>(sample->values);
  EXPECT_EQ(s.types[0], SensorType::kPt100);
  EXPECT_EQ(s.types[1], SensorType::kUnknown);
  EXPECT_EQ(s.inputs, (1u << 16) | (1u << 15));
  EXPECT_EQ(s.outputs, (1u << 31) | (1u << 16) | (1u << 2));
  EXPECT_DOUBLE_EQ(ValueOf(*sample, {Measure::kSensor, 0})->number, 100.5);
  EXPECT_EQ(ValueOf(*sample, {Measure::kSensor, 0})->unit, "Ом");
  EXPECT_DOUBLE_EQ(ValueOf(*sample, {Measure::kInput, 0})->number, 12.34);
  EXPECT_DOUBLE_EQ(ValueOf(*sample, {Measure::kSensor, 17})->number, -5);
  EXPECT_EQ(ValueOf(*sample, {Measure::kSensor, 17})->unit, "%");
  EXPECT_FALSE(ValueOf(*sample, {Measure::kSensor, 1}));  // "?"
  EXPECT_DOUBLE_EQ(ValueOf(*sample, {Measure::kTemperature})->number, 23.5);
  EXPECT_DOUBLE_EQ(ValueOf(*sample, {Measure::kEngineSpeed})->number, 65538);
  EXPECT_DOUBLE_EQ(ValueOf(*sample, {Measure::kShaftSpeed})->number, 25);
  EXPECT_FALSE(ValueOf(*sample, {Measure::kConverter, 0}));
}

TEST(SampleFromAnswer, OnlyWholeStatusAndConverterAnswers) {
  ChannelTypes types{};
  const std::vector<int> status(test::kStatusRegisters, 1);
  const std::vector<int> converter(test::kConverterRegisters, 1);
  EXPECT_TRUE(SampleFromAnswer(test::ReadAnswer(status, 180).Answer(), types, 0));
  EXPECT_TRUE(SampleFromAnswer(test::ReadAnswer(converter, 128).Answer(), types, 0));
  // The discrete outputs' read-back is no measurement.
  EXPECT_FALSE(SampleFromAnswer(test::ReadAnswer({1, 2}, 4).Answer(), types, 0));
  // An answer cut short would take older bytes for values: no sample, a gap instead.
  EXPECT_FALSE(SampleFromAnswer(test::Cut(test::ReadAnswer(status, 180), 150).Answer(), types, 0));
  EXPECT_FALSE(SampleFromAnswer(test::ReadAnswer({1, 2, 3}, 6).Answer(), types, 0));
  EXPECT_FALSE(SampleFromAnswer(test::MakeFrame({6, 0x0B, 0xB8, 0, 1}).Answer(), types, 0));
  EXPECT_FALSE(SampleFromAnswer(test::MakeFrame({0x83, 2}).Answer(), types, 0));
}

TEST(SampleFromAnswer, ConverterReadingsInMillivolts) {
  std::vector<int> words(test::kConverterRegisters, 0);
  words[0] = 1234;
  words[63] = 0xFFFF;
  const Sample sample = test::ConverterSampleAt(7, words);
  EXPECT_DOUBLE_EQ(ValueOf(sample, {Measure::kConverter, 0})->number, 123.4);
  EXPECT_DOUBLE_EQ(ValueOf(sample, {Measure::kConverter, 63})->number, -0.1);
  EXPECT_EQ(ValueOf(sample, {Measure::kConverter, 63})->unit, "мВ");
  EXPECT_FALSE(ValueOf(sample, {Measure::kTemperature}));
}

}  // namespace
}  // namespace torvex::record

namespace torvex::record {
namespace {

// The trends read a day at a time through QuantityReader; it must give ValueOf's numbers and
// units for every quantity under every sensor type.
TEST(QuantityReaderTest, AgreesWithValueOf) {
  const QString texts[] = {"0", "1", "2", "3", "4", "5", "?"};
  for (int shift = 0; shift < 7; ++shift) {
    ChannelTypes types{};
    test::StatusRegisters regs;
    for (int c = 0; c < kAnalogChannels; ++c) {
      test::SetType(types, c, texts[(c + shift) % 7]);
      regs.Sensor(c, (c % 3 - 1) * 1234 * (shift + 1));
      regs.Input(c, 777 * c - 5000);
    }
    regs.words[44] = 47;
    // Temperature sensor absent or not; forward, astern, invalid or no direction.
    const int directions[] = {0x0001, 0x0002, 0x0203, 0};
    regs.words[49] = (shift % 2 ? 0x8000 : 0) | directions[shift % 4];
    regs.words[46] = 5;
    std::vector<int> converter(test::kConverterRegisters);
    for (int n = 0; n < test::kConverterRegisters; ++n) converter[n] = (n * 997 * (shift + 1)) & 0xFFFF;
    const Sample samples[] = {test::StatusSampleAt(0, regs, types),
                              test::ConverterSampleAt(0, converter)};
    for (const Quantity& q : AllQuantities()) {
      const QuantityReader read(q);
      for (const Sample& sample : samples) {
        const auto expected = ValueOf(sample, q);
        const auto got = std::visit(read, sample.values);
        ASSERT_EQ(got.has_value(), expected.has_value()) << QuantityName(q).toStdString();
        if (!got) continue;
        EXPECT_DOUBLE_EQ(got->number, expected->number) << QuantityName(q).toStdString();
        EXPECT_EQ(read.Units().at(static_cast<std::size_t>(got->unit)), expected->unit);
      }
    }
  }
}

}  // namespace
}  // namespace torvex::record
