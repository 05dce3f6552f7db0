#include "checkout/plan.h"

#include <cmath>
#include <map>

#include <QFile>
#include <QLocale>

#include "platform/file_bytes.h"

// A static library's resources are registered by name, outside any namespace.
static void RegisterPlanResources() { Q_INIT_RESOURCE(checkout); }

namespace torvex::checkout {
namespace {

// No plan is this long; a longer one is not read.
constexpr qsizetype kMaxPlanSize = 1 << 20;
constexpr int kMaxSteps = 2000;
constexpr int kMaxSettleMs = 60000;
constexpr int kDefaultSettleMs = 500;
constexpr int kDefaultAnalogSettleMs = 1000;
constexpr double kMinCurrent = 4;
constexpr double kMaxCurrent = 20;
constexpr double kMaxVoltage = 10;

// What is wrong, and where: thrown while the plan is read, caught by ParsePlan.
struct PlanError {
  int line;
  QString text;
};

struct Entry {
  QString key;
  QString value;
  int line = 0;
};

struct Section {
  QString name;
  int line = 0;
  std::vector<Entry> entries;
};

QString Quoted(QStringView s) { return QStringLiteral("«") + s.toString() + QStringLiteral("»"); }

std::vector<Section> Sections(QStringView text) {
  std::vector<Section> sections;
  int lineNumber = 0;
  for (QStringView raw : text.split(u'\n')) {
    ++lineNumber;
    // "#" starts a comment, except inside the free texts of a title or a step's name
    // ("Стенд #2"); a line that starts with it is a comment all the same.
    qsizetype hash = raw.indexOf(u'#');
    const qsizetype keyEnd = raw.indexOf(u'=');
    if (hash > keyEnd && keyEnd > 0 && !raw.trimmed().startsWith(u'#')) {
      const QString key = raw.left(keyEnd).trimmed().toString().toLower();
      if (key == QLatin1String("title") || key == QLatin1String("name")) hash = -1;
    }
    const QStringView line = (hash < 0 ? raw : raw.left(hash)).trimmed();
    if (line.isEmpty()) continue;
    if (line.startsWith(u'[')) {
      if (!line.endsWith(u']')) throw PlanError{lineNumber, QStringLiteral("раздел без «]»")};
      sections.push_back({line.mid(1, line.size() - 2).trimmed().toString().toLower(), lineNumber, {}});
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) throw PlanError{lineNumber, QStringLiteral("ожидается «ключ = значение»")};
    if (sections.empty()) {
      throw PlanError{lineNumber, QStringLiteral("ключ вне раздела: сначала [plan], [discrete], [analog], [reading] или [versions]")};
    }
    Section& section = sections.back();
    Entry entry{line.left(equals).trimmed().toString().toLower(), line.mid(equals + 1).trimmed().toString(), lineNumber};
    for (const Entry& before : section.entries) {
      if (before.key == entry.key) {
        throw PlanError{lineNumber, QStringLiteral("ключ %1 уже задан в строке %2").arg(Quoted(entry.key)).arg(before.line)};
      }
    }
    section.entries.push_back(std::move(entry));
  }
  return sections;
}

// The keys of one section, each taken once; what is left over is not understood.
class Keys {
 public:
  Keys(const Section& section, std::initializer_list<const char*> allowed) : section_(section) {
    for (const Entry& entry : section.entries) {
      bool known = false;
      for (const char* key : allowed) known = known || entry.key == QLatin1String(key);
      if (!known) {
        throw PlanError{entry.line, QStringLiteral("в разделе [%1] нет ключа %2").arg(section.name, Quoted(entry.key))};
      }
    }
  }
  const Entry* Find(const char* key) const {
    for (const Entry& entry : section_.entries) {
      if (entry.key == QLatin1String(key)) return &entry;
    }
    return nullptr;
  }
  const Entry& Need(const char* key) const {
    if (const Entry* entry = Find(key)) return *entry;
    throw PlanError{section_.line, QStringLiteral("в разделе [%1] не задан ключ «%2»").arg(section_.name, QLatin1String(key))};
  }
  QString Text(const char* key) const {
    const Entry* entry = Find(key);
    return entry ? entry->value : QString();
  }

 private:
  const Section& section_;
};

double NumberIn(QStringView text, int line) {
  bool ok = false;
  const double value = text.trimmed().toString().replace(u',', u'.').toDouble(&ok);
  if (!ok || !std::isfinite(value)) throw PlanError{line, Quoted(text.trimmed()) + QStringLiteral(" не число")};
  return value;
}

double Number(const Entry& entry) { return NumberIn(entry.value, entry.line); }

int SettleMs(const Keys& keys, int fallback) {
  const Entry* entry = keys.Find("settle-ms");
  if (!entry) return fallback;
  const double ms = Number(*entry);
  if (ms < 0 || ms > kMaxSettleMs || ms != std::floor(ms)) {
    throw PlanError{entry->line, QStringLiteral("settle-ms: целое число от 0 до %1").arg(kMaxSettleMs)};
  }
  return static_cast<int>(ms);
}

// "N" or "N-M" within 1-32, as 0-based numbers.
std::vector<int> Range(QStringView text, int line) {
  const QList<QStringView> ends = text.split(u'-');
  const auto end = [&](QStringView s) {
    bool ok = false;
    const int n = s.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > kDiscreteOutputs) {
      throw PlanError{line, Quoted(text.trimmed()) + QStringLiteral(" не номер 1-32 и не диапазон N-M")};
    }
    return n - 1;
  };
  if (ends.size() > 2) throw PlanError{line, Quoted(text.trimmed()) + QStringLiteral(" не диапазон N-M")};
  const int first = end(ends.front());
  const int last = end(ends.back());
  std::vector<int> numbers;
  for (int n = first; first <= last ? n <= last : n >= last; n += first <= last ? 1 : -1) numbers.push_back(n);
  return numbers;
}

// "A > B; C > D": the two sides of each pair.
std::vector<std::pair<QStringView, QStringView>> Pairs(const Entry& entry) {
  std::vector<std::pair<QStringView, QStringView>> pairs;
  for (QStringView item : QStringView(entry.value).split(u';', Qt::SkipEmptyParts)) {
    const QList<QStringView> sides = item.split(u'>');
    if (sides.size() != 2) {
      throw PlanError{entry.line, Quoted(item.trimmed()) + QStringLiteral(": ожидается «задано > ожидается»")};
    }
    pairs.emplace_back(sides[0], sides[1]);
  }
  if (pairs.empty()) throw PlanError{entry.line, QStringLiteral("%1 без значений").arg(entry.key)};
  return pairs;
}

record::Quantity QuantityOf(const Entry& entry) {
  const QString wanted = entry.value.simplified().toLower();
  for (const record::Quantity q : record::AllQuantities()) {
    if (record::QuantityName(q).toLower() == wanted) return q;
  }
  throw PlanError{entry.line, QStringLiteral("нет величины %1 (пишите как в окне графиков: «AIN2.10 вход», "
                                             "«AIN1.0 датчик», «Температура», «Гребной вал», «Двигатель ДЗ3»)")
                                  .arg(Quoted(entry.value))};
}

std::optional<SensorType> TypeOf(const Keys& keys) {
  const Entry* entry = keys.Find("type");
  if (!entry) return std::nullopt;
  bool ok = false;
  const int code = entry->value.toInt(&ok);
  if (!ok || code < 1 || code > 5) throw PlanError{entry->line, QStringLiteral("type: код типа датчика 1-5")};
  return static_cast<SensorType>(code);
}

QString Shown(double value) { return QLocale().toString(value, 'g', 6); }

void AddDiscrete(const Section& section, Plan& plan) {
  const Keys keys(section, {"pairs", "settle-ms"});
  const int settle = SettleMs(keys, kDefaultSettleMs);
  const Entry& pairsEntry = keys.Need("pairs");
  plan.steps.push_back({QStringLiteral("Все выходы откл → все входы откл"), section.line, AllOffStep{settle}});
  for (const auto& [outputs, inputs] : Pairs(pairsEntry)) {
    const std::vector<int> from = Range(outputs, pairsEntry.line);
    const std::vector<int> to = Range(inputs, pairsEntry.line);
    if (from.size() != to.size()) {
      throw PlanError{pairsEntry.line, QStringLiteral("выходов %1, а входов %2").arg(from.size()).arg(to.size())};
    }
    for (std::size_t i = 0; i < from.size(); ++i) {
      for (const bool on : {true, false}) {
        const QString state = on ? QStringLiteral("вкл") : QStringLiteral("откл");
        plan.steps.push_back({QStringLiteral("Выход %1 %2 → вход %3 %2").arg(from[i] + 1).arg(state).arg(to[i] + 1),
                              section.line, DiscreteStep{from[i], to[i], on, settle}});
      }
    }
  }
}

int OutputOf(const Entry& entry) {
  const QString name = entry.value.trimmed().toUpper();
  for (int k = 0; k < kAnalogOutputs; ++k) {
    if (OutputName(k) == name) return k;
  }
  throw PlanError{entry.line, Quoted(entry.value) + QStringLiteral(" не аналоговый выход (I1-I4, U1-U4)")};
}

void AddAnalog(const Section& section, Plan& plan) {
  const Keys keys(section, {"name", "output", "value", "type", "points", "tolerance", "settle-ms"});
  const int output = OutputOf(keys.Need("output"));
  const record::Quantity value = QuantityOf(keys.Need("value"));
  const double tolerance = Number(keys.Need("tolerance"));
  if (tolerance < 0) throw PlanError{keys.Need("tolerance").line, QStringLiteral("tolerance: не меньше 0")};
  const int settle = SettleMs(keys, kDefaultAnalogSettleMs);
  const std::optional<SensorType> type = TypeOf(keys);
  const Entry& points = keys.Need("points");
  const bool current = output < kCurrentOutputs;
  const QString name = keys.Text("name").isEmpty()
                           ? OutputName(output) + QStringLiteral(" → ") + record::QuantityName(value)
                           : keys.Text("name");
  for (const auto& [setText, expectedText] : Pairs(points)) {
    const double set = NumberIn(setText, points.line);
    if (current ? set < kMinCurrent || set > kMaxCurrent : set < 0 || set > kMaxVoltage) {
      throw PlanError{points.line, QStringLiteral("%1 = %2 %3: вне %4")
                                       .arg(OutputName(output), Shown(set), OutputUnit(output),
                                            current ? QStringLiteral("4-20 мА") : QStringLiteral("0-10 В"))};
    }
    plan.steps.push_back({name + QStringLiteral(", ") + Shown(set) + u' ' + OutputUnit(output), section.line,
                          AnalogStep{output, set, value, type, NumberIn(expectedText, points.line), tolerance, settle}});
  }
}

void AddReading(const Section& section, Plan& plan) {
  const Keys keys(section, {"name", "value", "type", "min", "max"});
  ReadingStep step{QuantityOf(keys.Need("value")), TypeOf(keys), Number(keys.Need("min")), Number(keys.Need("max"))};
  if (step.min > step.max) throw PlanError{keys.Need("max").line, QStringLiteral("max меньше min")};
  const QString name = keys.Text("name").isEmpty() ? record::QuantityName(step.value) : keys.Text("name");
  plan.steps.push_back({name, section.line, step});
}

void AddVersions(const Section& section, Plan& plan) {
  const Keys keys(section, {"software", "protocol"});
  const VersionsStep step{keys.Text("software"), keys.Text("protocol")};
  if (step.software.isEmpty() && step.protocol.isEmpty()) {
    throw PlanError{section.line, QStringLiteral("в разделе [versions] не задан ни software, ни protocol")};
  }
  plan.steps.push_back({QStringLiteral("Версии ПО и протокола"), section.line, step});
}

}  // namespace

QString OutputName(int output) {
  return (output < kCurrentOutputs ? QStringLiteral("I%1") : QStringLiteral("U%1"))
      .arg(output % kCurrentOutputs + 1);
}

QString OutputUnit(int output) {
  return output < kCurrentOutputs ? QStringLiteral("мА") : QStringLiteral("В");
}

PlanParse ParsePlan(QStringView text) {
  if (text.size() > kMaxPlanSize) return {std::nullopt, 0, QStringLiteral("файл слишком велик для плана проверки")};
  // CR LF and a lone CR end a line as LF does.
  const QString lines = text.toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
  text = lines;
  try {
    Plan plan;
    bool titled = false;
    for (const Section& section : Sections(text)) {
      if (section.name == QLatin1String("plan")) {
        if (titled) throw PlanError{section.line, QStringLiteral("раздел [plan] уже был")};
        titled = true;
        plan.title = Keys(section, {"title"}).Text("title");
      } else if (section.name == QLatin1String("discrete")) {
        AddDiscrete(section, plan);
      } else if (section.name == QLatin1String("analog")) {
        AddAnalog(section, plan);
      } else if (section.name == QLatin1String("reading")) {
        AddReading(section, plan);
      } else if (section.name == QLatin1String("versions")) {
        AddVersions(section, plan);
      } else {
        throw PlanError{section.line, QStringLiteral("раздела [%1] не бывает: [plan], [discrete], [analog], "
                                                     "[reading] или [versions]").arg(section.name)};
      }
      if (static_cast<int>(plan.steps.size()) > kMaxSteps) {
        throw PlanError{section.line, QStringLiteral("больше %1 шагов").arg(kMaxSteps)};
      }
    }
    if (plan.steps.empty()) throw PlanError{0, QStringLiteral("в плане нет ни одного шага")};
    return {std::move(plan), 0, {}};
  } catch (const PlanError& error) {
    return {std::nullopt, error.line, error.text};
  }
}

PlanFile ReadPlanFile(const QString& path) {
  const FileBytes read = ReadFileBytes(path, kMaxPlanSize);
  switch (read.failure) {
    case FileBytes::Failure::kOpen:
      return {std::nullopt, QStringLiteral("план «%1» не открывается: %2").arg(path, read.reason)};
    case FileBytes::Failure::kRead:
      return {std::nullopt, QStringLiteral("план «%1» не читается: %2").arg(path, read.reason)};
    case FileBytes::Failure::kTooBig:
      return {std::nullopt, QStringLiteral("план «%1»: файл слишком велик для плана проверки").arg(path)};
    case FileBytes::Failure::kNone: break;
  }
  if (const QString notText = NotUtf8TextReason(read.bytes); !notText.isEmpty()) {
    return {std::nullopt, QStringLiteral("план «%1»: %2").arg(path, notText)};
  }
  const PlanParse parsed = ParsePlan(QString::fromUtf8(read.bytes));
  if (parsed.plan) return {parsed.plan, {}};
  const QString where = parsed.line > 0 ? QStringLiteral(", строка %1").arg(parsed.line) : QString();
  return {std::nullopt, QStringLiteral("план «%1»%2: %3").arg(path, where, parsed.error)};
}

QString DefaultPlanText() {
  RegisterPlanResources();
  QFile file(QStringLiteral(":/checkout/standard-bench.plan"));
  file.open(QIODevice::ReadOnly);
  return QString::fromUtf8(file.readAll());
}

}  // namespace torvex::checkout
