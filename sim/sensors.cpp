#include "sim/sensors.h"

#include <array>
#include <cmath>

namespace torvex::sim {

double PlatinumResistance(double r0, double celsius) {
  constexpr double kA = 3.9083e-3;
  constexpr double kB = -5.775e-7;
  constexpr double kC = -4.183e-12;
  const double t = celsius;
  double ratio = 1 + kA * t + kB * t * t;
  if (t < 0) ratio += kC * (t - 100) * t * t * t;
  return r0 * ratio;
}

double TypeKMillivolts(double celsius) {
  static constexpr std::array<double, 10> kC{
      -0.176004136860e-01, 0.389212049750e-01,  0.185587700320e-04, -0.994575928740e-07,
      0.318409457190e-09,  -0.560728448890e-12, 0.560750590590e-15, -0.320207200030e-18,
      0.971511471520e-22,  -0.121047212750e-25};
  constexpr double kA0 = 0.118597600000e+00;
  constexpr double kA1 = -0.118343200000e-03;
  constexpr double kA2 = 0.126968600000e+03;
  if (celsius < 0) return 0.0394501280250 * celsius;
  double emf = 0;
  for (auto c = kC.rbegin(); c != kC.rend(); ++c) emf = emf * celsius + *c;
  return emf + kA0 * std::exp(kA1 * (celsius - kA2) * (celsius - kA2));
}

double TypeKCelsius(double millivolts) {
  constexpr double kSlopeAtZero = 0.0394501280250;
  if (millivolts < 0) return millivolts / kSlopeAtZero;
  // The EMF rises steadily over the table, so halving the interval finds the temperature.
  double low = 0, high = 1372;
  if (millivolts >= TypeKMillivolts(high)) return high;
  for (int i = 0; i < 50; ++i) {
    const double mid = (low + high) / 2;
    (TypeKMillivolts(mid) < millivolts ? low : high) = mid;
  }
  return (low + high) / 2;
}

}  // namespace torvex::sim
