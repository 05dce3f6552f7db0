#include "checkout/checkout_run.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include <QStringList>

#include "decode/display_rules.h"
#include "decode/numeric.h"
#include "decode/register_map.h"
#include "modbus/function_code.h"
#include "modbus/requests.h"
#include "paramfile/param_layout.h"
#include "record/quantity.h"
#include "record/sample_from_answer.h"

namespace torvex::checkout {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// Registers 3001-3009: the discrete outputs (3001 outputs 16-31, 3002 outputs 0-15) and the
// analog outputs 0-7 (3002-3009; output 0 shares 3002 with discrete outputs 0-15).
constexpr int kOutputsFirst = reg::kOutputsHigh;
constexpr int kOutputsCount = 9;
static_assert(reg::AnalogOutput(reg::kAnalogOutputs - 1) == kOutputsFirst + kOutputsCount - 1);
// The output converters' steps: 4-20 mA outputs in 16 bits from 4 mA, 0-10 V in 12 bits.
constexpr double kMilliamperePerCode = 0.00024414;
constexpr double kVoltPerCode = 0.002442;
constexpr int kMaxCurrentCode = 65535;
constexpr int kMaxVoltageCode = 4095;
constexpr int kCurrentOffset = 4;
// The parameter boxes of the sensor types: AIN1 inputs 0-15 in 8-23, AIN2 inputs in 32-47.
constexpr int kAin1TypeParam = 8;
constexpr int kAin2TypeParam = 32;
constexpr int kChannelsPerGroup = kAnalogChannels / 2;
// How closely a value must lie within its tolerance: the window's rounding, not more.
constexpr double kSlack = 1e-9;

QString Number(double value) { return FormatReading(value, 6, 1.0, QString()).trimmed(); }

QString WithUnit(double value, const QString& unit) {
  return unit.isEmpty() ? Number(value) : Number(value) + u' ' + unit;
}

QString Measured(const record::Value& v) { return FormatReading(v.number, v.decimals, 1.0, v.unit).trimmed(); }

// "вкл: 3, 17" or "все откл"; inputs numbered from 1.
QString InputsText(std::uint32_t inputs) {
  if (inputs == 0) return QStringLiteral("все откл");
  QStringList on;
  for (int i = 0; i < kDiscreteOutputs; ++i) {
    if (inputs & (1u << i)) on << QString::number(i + 1);
  }
  return QStringLiteral("вкл: ") + on.join(QStringLiteral(", "));
}

std::uint16_t AnalogCode(int output, double set) {
  if (output < kCurrentOutputs) {
    return static_cast<std::uint16_t>(
        std::clamp(RoundHalfAway((set - kCurrentOffset) / kMilliamperePerCode), 0, kMaxCurrentCode));
  }
  return static_cast<std::uint16_t>(std::clamp(RoundHalfAway(set / kVoltPerCode), 0, kMaxVoltageCode));
}

// The unit a quantity is shown in under the channels' types, for what a step expects.
QString UnitOf(const record::Quantity& q, const ChannelTypes& types) {
  using record::Measure;
  std::optional<ReadingRule> rule;
  switch (q.measure) {
    case Measure::kSensor: rule = SensorRule(q.index, types[q.index]); break;
    case Measure::kInput: rule = InputRule(q.index, types[q.index]); break;
    case Measure::kTemperature: rule = kTemperatureRule; break;
    case Measure::kEngineSpeed:
    case Measure::kShaftSpeed: rule = kSpeedRule; break;
    case Measure::kConverter: rule = kConverterRule; break;
    case Measure::kDirection: break;
  }
  return rule ? rule->unit : QString();
}

QString TypeName(SensorType type) {
  switch (type) {
    case SensorType::kDiscrete: return QStringLiteral("1 - дискретный");
    case SensorType::kPt100: return QStringLiteral("2 - Pt100");
    case SensorType::kPt1000: return QStringLiteral("3 - Pt1000");
    case SensorType::kThermocouple: return QStringLiteral("4 - ТХА");
    case SensorType::kCurrentLoop: return QStringLiteral("5 - 4-20 мА");
    case SensorType::kUnknown: break;
  }
  return QStringLiteral("0 - отключен");
}

}  // namespace

QString StateText(StepState state) {
  switch (state) {
    case StepState::kWaiting: return QStringLiteral("ожидает");
    case StepState::kRunning: return QStringLiteral("идёт");
    case StepState::kPassed: return QStringLiteral("норма");
    case StepState::kFailed: return QStringLiteral("отказ");
    case StepState::kSkipped: return QStringLiteral("пропущен");
    case StepState::kNotDone: return QStringLiteral("не выполнен");
  }
  return {};
}

QString EndText(RunEnd end) {
  switch (end) {
    case RunEnd::kRunning: return QStringLiteral("идёт");
    case RunEnd::kPassed: return QStringLiteral("завершена: все шаги в норме");
    case RunEnd::kFailed: return QStringLiteral("завершена: есть отказы");
    case RunEnd::kStopped: return QStringLiteral("остановлена оператором");
    case RunEnd::kIncomplete: return QStringLiteral("не завершена: связь с контроллером потеряна");
  }
  return {};
}

bool DrivesI1(const Plan& plan) {
  return std::any_of(plan.steps.begin(), plan.steps.end(), [](const Step& step) {
    const auto* analog = std::get_if<AnalogStep>(&step.what);
    return analog && analog->output == 0;
  });
}

CheckoutRun::CheckoutRun(Plan plan, int address, bool continueAfterFailure)
    : plan_(std::move(plan)), address_(address), continueAfterFailure_(continueAfterFailure),
      results_(plan_.steps.size()) {}

void CheckoutRun::Start(ModbusEngine& engine, Clock::time_point now) {
  engine_ = &engine;
  stepStarted_ = now;
  params_run_ = paramset::SetExchange::Read(address_);
  params_run_->Start(engine);
}

void CheckoutRun::Ask(const modbus::Pdu& request, Asked what) {
  asked_ = what;
  failures_ = 0;
  if (!engine_->QueueRequest(request)) {
    // A full ring: nothing of this run can go on.
    asked_ = Asked::kNothing;
    AbandonSteps(StepState::kNotDone);
    if (end_ == RunEnd::kRunning) end_ = RunEnd::kIncomplete;
    Finish();
    return;
  }
  waitingFor_ = engine_->Queue().Committed();
}

void CheckoutRun::OnAnswer(const RxAnswer& answer, Clock::time_point now) {
  if (phase_ == Phase::kParams) {
    params_run_->OnAnswer(answer);
    if (params_run_->Running()) return;
    if (!params_run_->Controller()) {
      AbandonSteps(StepState::kNotDone);
      end_ = RunEnd::kIncomplete;
      Finish();
      return;
    }
    params_ = params_run_->Controller();
    softwareVersion_ = params_run_->SoftwareVersion();
    protocolVersion_ = params_run_->ProtocolVersion();
    for (int c = 0; c < kAnalogChannels; ++c) {
      const int box = c < kChannelsPerGroup ? kAin1TypeParam + c : kAin2TypeParam + c - kChannelsPerGroup;
      const int code = paramfile::Raw(*params_, box);
      types_[static_cast<std::size_t>(c)] =
          code >= 1 && code <= 5 ? static_cast<SensorType>(code) : SensorType::kUnknown;
    }
    phase_ = Phase::kSaveOutputs;
    Ask(modbus::ReadHoldingRegisters(kOutputsFirst, kOutputsCount), Asked::kOutputs);
    return;
  }
  if (asked_ == Asked::kNothing || answer.serial != waitingFor_) return;
  const Asked what = asked_;
  asked_ = Asked::kNothing;
  failures_ = 0;
  switch (what) {
    case Asked::kOutputs:
      if (IsExceptionAnswer(answer)) {
        AbandonSteps(StepState::kNotDone);
        end_ = RunEnd::kIncomplete;
        Finish();
        return;
      }
      for (int i = 0; i < kOutputsCount; ++i) {
        found_.push_back(static_cast<std::uint16_t>(answer.cells[3 + 2 * i] << 8 | answer.cells[4 + 2 * i]));
      }
      outputs_ = static_cast<std::uint32_t>(found_[0]) << 16 | found_[1];
      phase_ = Phase::kSteps;
      BeginStep(now);
      return;
    case Asked::kRestore:
      restored_ = true;
      Finish();
      return;
    case Asked::kCommand:
    case Asked::kStatus:
      StepAnswered(answer, now);
      return;
    case Asked::kNothing:
      return;
  }
}

void CheckoutRun::OnTick(std::optional<ExchangeOutcome> outcome, Clock::time_point now) {
  (void)now;
  if (phase_ == Phase::kParams) {
    params_run_->OnTick(outcome);
    if (params_run_->Running()) return;
    AbandonSteps(StepState::kNotDone);
    end_ = RunEnd::kIncomplete;
    Finish();
    return;
  }
  if (!outcome || phase_ == Phase::kDone || phase_ == Phase::kRestore) return;
  if (*outcome == ExchangeOutcome::kLinkUp) {
    failures_ = 0;
    return;
  }
  if (++failures_ < kGiveUpAfter) return;
  // The link is lost: nothing more is judged; the outputs go back once it is there again.
  AbandonSteps(StepState::kNotDone);
  end_ = RunEnd::kIncomplete;
  Restore();
}

void CheckoutRun::Stop() {
  if (phase_ == Phase::kDone || phase_ == Phase::kRestore) return;
  AbandonSteps(StepState::kSkipped);
  end_ = RunEnd::kStopped;
  if (phase_ == Phase::kParams) params_run_.reset();
  Restore();
}

std::optional<SensorType> CheckoutRun::ChannelType(const record::Quantity& value) const {
  if (value.measure != record::Measure::kSensor && value.measure != record::Measure::kInput) return std::nullopt;
  return types_[static_cast<std::size_t>(value.index)];
}

bool CheckoutRun::WriteOutputs(std::uint32_t outputs) {
  outputs_ = outputs;
  changed_ = true;
  restored_ = false;
  Ask(modbus::WriteMultipleRegisters(kOutputsFirst, {static_cast<std::uint16_t>(outputs >> 16),
                                                     static_cast<std::uint16_t>(outputs & 0xFFFF)}),
      Asked::kCommand);
  return true;
}

void CheckoutRun::BeginStep(Clock::time_point now) {
  if (step_ >= static_cast<int>(plan_.steps.size())) {
    end_ = Count(StepState::kFailed) > 0 ? RunEnd::kFailed : RunEnd::kPassed;
    Restore();
    return;
  }
  stepStarted_ = now;
  StepResult& result = results_[static_cast<std::size_t>(step_)];
  result.state = StepState::kRunning;
  const Step& step = plan_.steps[static_cast<std::size_t>(step_)];
  if (const auto* allOff = std::get_if<AllOffStep>(&step.what)) {
    (void)allOff;
    result.expected = InputsText(0);
    WriteOutputs(0);
  } else if (const auto* discrete = std::get_if<DiscreteStep>(&step.what)) {
    const std::uint32_t bit = 1u << discrete->output;
    result.expected = QStringLiteral("вход %1 %2, прочие как были")
                          .arg(discrete->input + 1)
                          .arg(discrete->on ? QStringLiteral("вкл") : QStringLiteral("откл"));
    WriteOutputs(discrete->on ? outputs_ | bit : outputs_ & ~bit);
  } else if (const auto* analog = std::get_if<AnalogStep>(&step.what)) {
    const QString unit = UnitOf(analog->value, types_);
    result.expected = WithUnit(analog->expected, unit) + QStringLiteral(" ± ") + Number(analog->tolerance);
    result.numbers = {analog->expected, analog->expected - analog->tolerance, analog->expected + analog->tolerance,
                      std::nullopt, unit};
    const auto type = ChannelType(analog->value);
    if (analog->type && type && *type != *analog->type) {
      Verdict(false, QStringLiteral("тип %1").arg(TypeName(*type)),
              QStringLiteral("канал не настроен: нужен тип %1").arg(TypeName(*analog->type)), now);
      return;
    }
    changed_ = true;
    restored_ = false;
    Ask(modbus::WriteMultipleRegisters(static_cast<std::uint16_t>(reg::AnalogOutput(analog->output)),
                                       {AnalogCode(analog->output, analog->set)}),
        Asked::kCommand);
  } else if (const auto* reading = std::get_if<ReadingStep>(&step.what)) {
    const QString unit = UnitOf(reading->value, types_);
    result.expected = Number(reading->min) + QStringLiteral(" … ") + WithUnit(reading->max, unit);
    result.numbers = {std::nullopt, reading->min, reading->max, std::nullopt, unit};
    const auto type = ChannelType(reading->value);
    if (reading->type && type && *type != *reading->type) {
      Verdict(false, QStringLiteral("тип %1").arg(TypeName(*type)),
              QStringLiteral("канал не настроен: нужен тип %1").arg(TypeName(*reading->type)), now);
      return;
    }
    commandAnswered_ = now;
    Ask(modbus::ReadHoldingRegisters(reg::kStatusBlock.start, reg::kStatusBlock.count), Asked::kStatus);
  } else if (const auto* versions = std::get_if<VersionsStep>(&step.what)) {
    QStringList parts;
    if (!versions->software.isEmpty()) parts << QStringLiteral("ПО ") + versions->software;
    if (!versions->protocol.isEmpty()) parts << QStringLiteral("протокол ") + versions->protocol;
    result.expected = parts.join(QStringLiteral(", "));
    commandAnswered_ = now;
    Ask(modbus::ReadHoldingRegisters(reg::kStatusBlock.start, reg::kStatusBlock.count), Asked::kStatus);
  }
}

void CheckoutRun::StepAnswered(const RxAnswer& answer, Clock::time_point now) {
  if (IsExceptionAnswer(answer)) {
    Verdict(false, QStringLiteral("исключение %1").arg(answer.cells[2]),
            QStringLiteral("контроллер отказал: код исключения %1").arg(answer.cells[2]), now);
    return;
  }
  if (answer.request.Function() != static_cast<std::uint8_t>(modbus::FunctionCode::kReadHoldingRegisters)) {
    // The command is carried out; the verdict comes from a status read queued after it.
    commandAnswered_ = now;
    Ask(modbus::ReadHoldingRegisters(reg::kStatusBlock.start, reg::kStatusBlock.count), Asked::kStatus);
    return;
  }
  const auto sample = record::SampleFromAnswer(answer, types_, 0);
  const auto* status = sample ? std::get_if<record::StatusSample>(&sample->values) : nullptr;
  if (!status) {
    Verdict(false, QStringLiteral("нет ответа на чтение состояния"), QStringLiteral("ответ без регистров состояния"), now);
    return;
  }
  Judge(*status, now);
}

void CheckoutRun::Judge(const record::StatusSample& s, Clock::time_point now) {
  const Step& step = plan_.steps[static_cast<std::size_t>(step_)];
  bool passed = false;
  QString measured;
  QString note;
  std::optional<record::Value> number;
  int settleMs = 0;
  if (const auto* allOff = std::get_if<AllOffStep>(&step.what)) {
    settleMs = allOff->settleMs;
    passed = s.inputs == 0;
    measured = InputsText(s.inputs);
    note = QStringLiteral("при всех выключенных выходах включены входы");
  } else if (const auto* discrete = std::get_if<DiscreteStep>(&step.what)) {
    settleMs = discrete->settleMs;
    const std::uint32_t bit = 1u << discrete->input;
    const bool follows = ((s.inputs & bit) != 0) == discrete->on;
    const std::uint32_t others = (s.inputs ^ baselineInputs_) & ~bit;
    passed = follows && others == 0;
    measured = InputsText(s.inputs);
    if (!follows) {
      note = QStringLiteral("вход %1 не %2 за %3 мс")
                 .arg(discrete->input + 1)
                 .arg(discrete->on ? QStringLiteral("включился") : QStringLiteral("выключился"))
                 .arg(settleMs);
    } else {
      note = QStringLiteral("вместе с ним изменился вход %1 (замыкание?)").arg(std::countr_zero(others) + 1);
    }
  } else {
    record::Quantity value{};
    double low = 0;
    double high = 0;
    if (const auto* analog = std::get_if<AnalogStep>(&step.what)) {
      value = analog->value;
      low = analog->expected - analog->tolerance - kSlack;
      high = analog->expected + analog->tolerance + kSlack;
      settleMs = analog->settleMs;
    } else if (const auto* reading = std::get_if<ReadingStep>(&step.what)) {
      value = reading->value;
      low = reading->min - kSlack;
      high = reading->max + kSlack;
    }
    if (const auto* versions = std::get_if<VersionsStep>(&step.what)) {
      const QString software = PlainVersionText(s.softwareVersion);
      const QString protocol = PlainVersionText(s.protocolVersion);
      measured = QStringLiteral("ПО %1, протокол %2").arg(software, protocol);
      passed = (versions->software.isEmpty() || versions->software == software) &&
               (versions->protocol.isEmpty() || versions->protocol == protocol);
      note = QStringLiteral("версии не те, что в плане");
    } else if (const auto v = record::ValueOf(s, value)) {
      measured = Measured(*v);
      number = v;
      passed = v->number >= low && v->number <= high;
      note = QStringLiteral("вне допуска");
    } else {
      measured = QStringLiteral("нет значения");
      note = value.measure == record::Measure::kTemperature ? QStringLiteral("датчик температуры отсутствует")
                                                             : QStringLiteral("величина не измеряется при этом типе канала");
    }
  }
  if (!passed && now - commandAnswered_ < milliseconds(settleMs)) {
    // Not there yet: the inputs and channels get their time.
    Ask(modbus::ReadHoldingRegisters(reg::kStatusBlock.start, reg::kStatusBlock.count), Asked::kStatus);
    return;
  }
  if (std::holds_alternative<DiscreteStep>(step.what) || std::holds_alternative<AllOffStep>(step.what)) {
    baselineInputs_ = s.inputs;
  }
  Verdict(passed, measured, passed ? QString() : note, now, number);
}

void CheckoutRun::Verdict(bool passed, const QString& measured, const QString& note, Clock::time_point now,
                          std::optional<record::Value> number) {
  StepResult& result = results_[static_cast<std::size_t>(step_)];
  result.state = passed ? StepState::kPassed : StepState::kFailed;
  result.measured = measured;
  result.note = note;
  result.numbers.measured = std::move(number);
  result.took = duration_cast<milliseconds>(now - stepStarted_);
  stepsTime_ += result.took;
  ++stepsTimed_;
  if (!passed && !continueAfterFailure_) {
    ++step_;
    AbandonSteps(StepState::kSkipped);
    end_ = RunEnd::kFailed;
    Restore();
    return;
  }
  NextStep(now);
}

void CheckoutRun::NextStep(Clock::time_point now) {
  ++step_;
  BeginStep(now);
}

void CheckoutRun::AbandonSteps(StepState state) {
  for (std::size_t i = static_cast<std::size_t>(step_); i < results_.size(); ++i) {
    if (results_[i].state == StepState::kWaiting || results_[i].state == StepState::kRunning) {
      results_[i].state = state;
    }
  }
  step_ = static_cast<int>(results_.size());
}

void CheckoutRun::Restore() {
  if (!changed_ || found_.empty()) {
    Finish();
    return;
  }
  phase_ = Phase::kRestore;
  Ask(modbus::WriteMultipleRegisters(kOutputsFirst, found_), Asked::kRestore);
}

void CheckoutRun::Finish() {
  phase_ = Phase::kDone;
  asked_ = Asked::kNothing;
}

int CheckoutRun::Count(StepState state) const {
  return static_cast<int>(std::count_if(results_.begin(), results_.end(),
                                        [state](const StepResult& r) { return r.state == state; }));
}

std::optional<milliseconds> CheckoutRun::TimeLeft() const {
  if (stepsTimed_ == 0) return std::nullopt;
  return stepsTime_ / stepsTimed_ * Count(StepState::kWaiting);
}

}  // namespace torvex::checkout
