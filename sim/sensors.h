#pragma once
// Sensor physics the simulated readings follow, so the tool shows numbers an engineer trusts.

namespace torvex::sim {

// Platinum resistance thermometer (IEC 60751, alpha 0.00385): resistance in ohms at `celsius`
// for a nominal `r0` (100 for Pt100, 1000 for Pt1000).
double PlatinumResistance(double r0, double celsius);

// Type K thermocouple EMF in millivolts against a 0 degC junction (ITS-90 reference function,
// 0-1372 degC; below 0 the slope at 0 degC, close enough for a cold junction).
double TypeKMillivolts(double celsius);

// The temperature whose type K EMF against a 0 degC junction is `millivolts`: the inverse of
// TypeKMillivolts, held at 1372 degC beyond the table.
double TypeKCelsius(double millivolts);

}  // namespace torvex::sim
