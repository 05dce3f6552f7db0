#pragma once
// A bench checkout carried out through the exchange. It reads the controller's parameter set
// (for the channels' sensor types and the report's checksum) and notes the outputs as it finds
// them; then each step sends its own command and takes its verdict from a status answer to a
// read queued after that command's answer, never from a value read before it; at the end, on
// Stop, or when the link comes back after it was lost, the outputs are put back as they were.
// One request of its own at a time, told apart from others by its number in the ring.
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

#include "checkout/plan.h"
#include "engine/modbus_engine.h"
#include "paramset/set_exchange.h"
#include "record/quantity.h"
#include "record/sample.h"

namespace torvex::checkout {

enum class StepState {
  kWaiting,  // ожидает
  kRunning,  // идёт
  kPassed,   // норма
  kFailed,   // отказ
  kSkipped,  // пропущен: stopped before it, or after a failure when the run stops at one
  kNotDone,  // не выполнен: the link was lost
};

// The numbers behind a step's texts, for a table that computes with them; empty where the step
// has none (a discrete step, the versions) or nothing was measured.
struct StepNumbers {
  std::optional<double> expected;  // an analog point's value
  std::optional<double> low;       // the limits the measurement must lie within
  std::optional<double> high;
  std::optional<record::Value> measured;
  QString unit;  // of all four
};

struct StepResult {
  StepState state = StepState::kWaiting;
  QString expected;  // what the step expects, in the value's unit
  QString measured;  // what the verdict was taken from
  QString note;      // why it failed, when it did
  StepNumbers numbers;
  std::chrono::milliseconds took{0};
};

enum class RunEnd {
  kRunning,
  kPassed,      // every step норма
  kFailed,      // at least one step отказ, the rest carried out (or skipped after it)
  kStopped,     // the operator stopped it
  kIncomplete,  // не завершена: the link was lost, or the controller's set could not be read
};

class CheckoutRun {
 public:
  using Clock = std::chrono::steady_clock;
  // Failed exchanges in a row after which the link counts as lost.
  static constexpr int kGiveUpAfter = 10;

  CheckoutRun(Plan plan, int address, bool continueAfterFailure);

  void Start(ModbusEngine& engine, Clock::time_point now);
  // The engine's decoder and every tick's outcome.
  void OnAnswer(const RxAnswer& answer, Clock::time_point now);
  void OnTick(std::optional<ExchangeOutcome> outcome, Clock::time_point now);
  // The steps not done are skipped; the outputs are put back.
  void Stop();

  const Plan& GetPlan() const { return plan_; }
  int SlaveAddress() const { return address_; }
  const std::vector<StepResult>& Results() const { return results_; }
  int CurrentStep() const { return step_; }
  RunEnd End() const { return end_; }
  // Steps and putting the outputs back are both over (or the restore cannot be done).
  bool Finished() const { return phase_ == Phase::kDone; }
  // Whether the run has sent the outputs a command (from then on they are to be put back).
  bool OutputsDriven() const { return changed_; }
  // Whether the outputs are as they were found (also before the run changed any).
  bool OutputsRestored() const { return restored_; }
  // The outputs were changed and are still to be put back.
  bool RestorePending() const { return phase_ == Phase::kRestore; }

  // What the run read before the steps: the parameter set, the versions.
  const std::optional<paramfile::ParamImage>& Params() const { return params_; }
  std::optional<int> SoftwareVersion() const { return softwareVersion_; }
  std::optional<int> ProtocolVersion() const { return protocolVersion_; }

  // Counts of the steps by their state.
  int Count(StepState state) const;
  // Time left at the pace so far; none before the first step is done.
  std::optional<std::chrono::milliseconds> TimeLeft() const;

 private:
  enum class Phase { kParams, kSaveOutputs, kSteps, kRestore, kDone };
  // What the request of ours in flight is for.
  enum class Asked { kNothing, kOutputs, kCommand, kStatus, kRestore };

  void Ask(const modbus::Pdu& request, Asked what);
  void BeginStep(Clock::time_point now);
  void StepAnswered(const RxAnswer& answer, Clock::time_point now);
  void Judge(const record::StatusSample& status, Clock::time_point now);
  void Verdict(bool passed, const QString& measured, const QString& note, Clock::time_point now,
               std::optional<record::Value> number = std::nullopt);
  void NextStep(Clock::time_point now);
  void AbandonSteps(StepState state);
  void Restore();
  void Finish();
  bool WriteOutputs(std::uint32_t outputs);
  std::optional<SensorType> ChannelType(const record::Quantity& value) const;

  Plan plan_;
  int address_;
  bool continueAfterFailure_;
  ModbusEngine* engine_ = nullptr;
  Phase phase_ = Phase::kParams;
  std::optional<paramset::SetExchange> params_run_;
  std::optional<paramfile::ParamImage> params_;
  std::optional<int> softwareVersion_;
  std::optional<int> protocolVersion_;
  ChannelTypes types_{};

  Asked asked_ = Asked::kNothing;
  std::uint64_t waitingFor_ = 0;
  int failures_ = 0;

  std::vector<StepResult> results_;
  int step_ = 0;
  Clock::time_point stepStarted_{};
  Clock::time_point commandAnswered_{};
  std::uint32_t baselineInputs_ = 0;
  std::uint32_t outputs_ = 0;  // the discrete outputs as the run last set them
  // Registers 3001-3009 as found: the discrete outputs and the analog outputs.
  std::vector<std::uint16_t> found_;
  bool changed_ = false;
  bool restored_ = true;
  RunEnd end_ = RunEnd::kRunning;
  std::chrono::milliseconds stepsTime_{0};
  int stepsTimed_ = 0;
};

// The texts of the states, as the table and the report show them.
QString StateText(StepState state);
QString EndText(RunEnd end);

// Analog output I1 and discrete outputs 1-16 are one register (3002): a plan that sets I1
// switches those outputs with it, all 16 at 20 mA, for as long as each point lasts.
bool DrivesI1(const Plan& plan);
// What the operator is told of it before such a plan runs.
inline const QString kI1SwitchesOutputsWarning = QStringLiteral(
    "Аналоговый выход I1 и дискретные выходы 1–16 хранятся в одном регистре 3002: шаги с выходом "
    "I1 включают вместе с ним и выходы 1–16 (при 20 мА — все 16) на всё время шага, на секунды.");

}  // namespace torvex::checkout
