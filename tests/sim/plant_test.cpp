#include "sim/plant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "sim/sensors.h"

namespace torvex::sim {
namespace {

TEST(Sensors, MatchTheReferenceTables) {
  EXPECT_NEAR(PlatinumResistance(100, 0), 100.0, 1e-9);
  EXPECT_NEAR(PlatinumResistance(100, 100), 138.5055, 1e-3);
  EXPECT_NEAR(PlatinumResistance(1000, -50), 803.063, 1e-2);
  EXPECT_NEAR(TypeKMillivolts(0), 0.0, 1e-3);
  EXPECT_NEAR(TypeKMillivolts(25), 1.000, 1e-3);
  EXPECT_NEAR(TypeKMillivolts(100), 4.096, 1e-3);
  EXPECT_NEAR(TypeKMillivolts(500), 20.644, 1e-3);
  EXPECT_NEAR(TypeKMillivolts(1000), 41.276, 1e-3);
}

// Every type on some channel of both parities, on both groups.
std::array<int, kAnalogChannels> AllTypes() {
  std::array<int, kAnalogChannels> types{};
  for (std::size_t c = 0; c < kAnalogChannels; ++c) types[c] = static_cast<int>((c / 2) % 7);  // 0-6
  return types;
}

// Outputs that put the channels wired to them among plausible machine values.
BenchOutputs SomeOutputs() {
  BenchOutputs o;
  o.milliamps.fill(12);
  o.volts.fill(2);  // 10 mV through the divider: some 250-300 degC on a thermocouple
  return o;
}

// What the tool shows must hang together: the values of a channel, and its converter readings,
// describe one physical state.
TEST(Plant, ReadingsOfEachChannelAreConsistentWithItsSensorType) {
  const auto types = AllTypes();
  for (std::uint64_t seed : {1u, 2u, 99u}) {
    const Plant plant(seed, false);
    for (std::int64_t tMs : {0, 37'000, 250'000, 900'000}) {
      const PlantReadings r = plant.Sample(tMs, types, SomeOutputs());
      for (std::size_t c = 0; c < kAnalogChannels; ++c) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " t " + std::to_string(tMs) + " channel " + std::to_string(c));
        const double s = r.sensor[c], v = r.input[c];
        const bool even = c % 2 == 0;
        const double signal = r.converter[(c / 16) * 32 + c % 16] / 10.0;  // mV
        const double reference = r.converter[(c / 16) * 32 + 16 + c % 16] / 10.0;
        switch (types[c]) {
          case kSensorPt100: {
            const double ohms = even ? s / 100 : v / 100;
            EXPECT_GT(ohms, 105);  // plausible machine temperatures: about 15-100 degC
            EXPECT_LT(ohms, 140);
            if (even) EXPECT_NEAR(v / 100, ohms * 0.5, 0.02);
            else EXPECT_NEAR(PlatinumResistance(100, s / 10), ohms, 0.05);
            EXPECT_NEAR(signal, ohms * 0.5, 0.1);
            EXPECT_NEAR(reference, 1000, 0.5);
            break;
          }
          case kSensorPt1000: {
            const double ohms = even ? s / 10 : v / 10;
            EXPECT_GT(ohms, 1050);
            EXPECT_LT(ohms, 1400);
            if (even) EXPECT_NEAR(v / 10, ohms * 0.1, 0.1);
            else EXPECT_NEAR(PlatinumResistance(1000, s / 10), ohms, 0.5);
            EXPECT_NEAR(signal, ohms * 0.1, 0.1);
            break;
          }
          case kSensorThermocouple: {
            const double celsius = s / 10, emf = v * 0.002;
            EXPECT_GT(celsius, 150);
            EXPECT_LT(celsius, 500);
            EXPECT_NEAR(emf, TypeKMillivolts(celsius) - TypeKMillivolts(reference / 10), 0.02);
            EXPECT_NEAR(signal, emf, 0.1);
            break;
          }
          case kSensorCurrentLoop:
            EXPECT_GE(s, 0);
            EXPECT_LE(s, 10000);
            EXPECT_NEAR(v, 4000 + 1.6 * s, 2);
            EXPECT_NEAR(signal, v / 1000 * 150, 0.15);
            break;
          case kSensorDiscrete:
            EXPECT_TRUE(s == 0 || s == 1);
            EXPECT_EQ(s == 1, v > 12000);
            EXPECT_NEAR(signal, v / 10, 0.1);
            break;
          default:
            EXPECT_EQ(s, 0);
            EXPECT_EQ(v, 0);
            EXPECT_LT(std::abs(signal), 1.0);
        }
      }
    }
  }
}

TEST(Plant, SameSeedAndTimeGiveTheSameValuesAndFrozenStandsStill) {
  const auto types = AllTypes();
  auto same = [](const PlantReadings& a, const PlantReadings& b) {
    return a.sensor == b.sensor && a.input == b.input && a.converter == b.converter &&
           a.boardTemperature == b.boardTemperature && a.engineHz == b.engineHz &&
           a.shaftHz == b.shaftHz && a.status == b.status;
  };
  EXPECT_TRUE(same(Plant(5, false).Sample(12'345, types, {}), Plant(5, false).Sample(12'345, types, {})));
  EXPECT_FALSE(same(Plant(5, false).Sample(12'345, types, {}), Plant(6, false).Sample(12'345, types, {})));
  EXPECT_FALSE(same(Plant(5, false).Sample(0, types, {}), Plant(5, false).Sample(60'000, types, {})));
  EXPECT_TRUE(same(Plant(5, true).Sample(0, types, {}), Plant(5, true).Sample(60'000, types, {})));
}

TEST(Plant, TemperaturesDriftSlowly) {
  const std::array<int, kAnalogChannels> types = [] {
    std::array<int, kAnalogChannels> t{};
    t.fill(kSensorPt100);
    return t;
  }();
  const Plant plant(11, false);
  double widest = 0;
  for (std::int64_t tMs = 0; tMs < 600'000; tMs += 1000) {
    const PlantReadings a = plant.Sample(tMs, types, {}), b = plant.Sample(tMs + 1000, types, {});
    for (std::size_t c = 1; c < kAnalogChannels; c += 2) {  // odd channels read degrees
      EXPECT_LT(std::abs(a.sensor[c] - b.sensor[c]), 5) << "more than 0.5 degC in a second";
    }
    widest = std::max(widest, std::abs(plant.Sample(0, types, {}).sensor[1] - a.sensor[1]) / 10.0);
  }
  EXPECT_GT(widest, 0.5) << "ten minutes without any drift";
}

TEST(Plant, ShaftGoesAheadStopsAndGoesAsternAndTheTemperatureSensorDropsOut) {
  const Plant plant(21, false);
  const std::array<int, kAnalogChannels> types{};
  std::set<std::uint16_t> directions;
  bool sensorDropped = false;
  for (std::int64_t tMs = 0; tMs < 150'000; tMs += 100) {
    const PlantReadings r = plant.Sample(tMs, types, {});
    const std::uint16_t direction = r.status & (kShaftAhead | kShaftAstern | kDirectionInvalid);
    directions.insert(direction);
    EXPECT_EQ(direction == 0, r.shaftHz == 0) << tMs;
    EXPECT_LT(r.shaftHz, 500u);
    EXPECT_GT(r.engineHz, 500u);
    EXPECT_LT(r.engineHz, 2300u);
    if (r.status & kTemperatureSensorAbsent) {
      sensorDropped = true;
      EXPECT_EQ(r.boardTemperature, 0);
    } else {
      EXPECT_GT(r.boardTemperature, 2 * 20);
      EXPECT_LT(r.boardTemperature, 2 * 45);
    }
  }
  EXPECT_EQ(directions, (std::set<std::uint16_t>{0, kShaftAhead, kShaftAstern, kDirectionInvalid}));
  EXPECT_TRUE(sensorDropped);

  const PlantReadings start = plant.Sample(0, types, {});
  EXPECT_EQ(start.status, kShaftAhead) << "a frozen plant shows a shaft running ahead, sensor present";
}

}  // namespace
}  // namespace torvex::sim
