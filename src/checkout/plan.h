#pragma once
// A bench checkout plan: the steps that drive the controller's outputs and check what its
// inputs and channels read on a test bench, each with what it sets, what it expects and how
// closely. Read from a text file that an engineer writes and comments:
//
//   # The standard loop-back bench
//   [plan]
//   title = Стандартный стенд
//   [discrete]                       # output N on: input M on, every other input as it was
//   pairs = 1-32 > 1-32
//   settle-ms = 500
//   [analog]                         # an analog output into a channel
//   output = I1                      # I1-I4 current (mA), U1-U4 voltage (V)
//   value = AIN2.10 вход             # what is read, as the trends name it
//   type = 5                         # the sensor type the channel must have
//   points = 4 > 4; 12 > 12; 20 > 20 # set > expected, in the output's and the value's units
//   tolerance = 0.1
//   [reading]                        # a value within limits
//   value = Температура
//   min = 10
//   max = 40
//   [versions]
//   software = 2.14
//
// A plan with anything it does not understand is refused whole, with the line and what is
// wrong.
#include <optional>
#include <variant>
#include <vector>

#include <QString>
#include <QStringView>

#include "decode/readings.h"
#include "record/quantity.h"

namespace torvex::checkout {

inline constexpr int kDiscreteOutputs = 32;
inline constexpr int kAnalogOutputs = 8;  // 0-3 current 4-20 mA, 4-7 voltage 0-10 V
inline constexpr int kCurrentOutputs = 4;

// Every output off, every input off: where the discrete steps start from.
struct AllOffStep {
  int settleMs = 0;
};

// Output `output` switched on (or off): input `input` follows within `settleMs`, every other
// input stays as it was. Outputs and inputs 0-31.
struct DiscreteStep {
  int output = 0;
  int input = 0;
  bool on = true;
  int settleMs = 0;
};

// Analog output `output` (0-7) set to `set` (mA or V): `value` reads `expected` within
// `tolerance`, in its unit, once the channel has the sensor type `type`.
struct AnalogStep {
  int output = 0;
  double set = 0;
  record::Quantity value;
  std::optional<SensorType> type;
  double expected = 0;
  double tolerance = 0;
  int settleMs = 0;
};

// A value read within [min, max]; a channel's type checked first when given.
struct ReadingStep {
  record::Quantity value;
  std::optional<SensorType> type;
  double min = 0;
  double max = 0;
};

// The versions the controller must report ("2.14"); an empty one is not checked.
struct VersionsStep {
  QString software;
  QString protocol;
};

struct Step {
  QString name;  // as the window's table and the report show it
  int line = 0;  // of the plan's section it comes from
  std::variant<AllOffStep, DiscreteStep, AnalogStep, ReadingStep, VersionsStep> what;
};

struct Plan {
  QString title;
  std::vector<Step> steps;
};

struct PlanParse {
  std::optional<Plan> plan;  // empty: refused
  int line = 0;              // where, when refused; 0 for the whole file
  QString error;             // what is wrong
};

PlanParse ParsePlan(QStringView text);

// The plan that ships with the tool, for the standard loop-back bench.
QString DefaultPlanText();

struct PlanFile {
  std::optional<Plan> plan;  // empty: not opened or refused
  QString error;             // "план «P», строка N: …" or "план «P» не открывается: …"
};
// A plan read from a file and checked whole.
PlanFile ReadPlanFile(const QString& path);

// "I1" … "I4", "U1" … "U4", and each output's unit.
QString OutputName(int output);
QString OutputUnit(int output);

}  // namespace torvex::checkout
