#include "config/configuration.h"

#include <cmath>
#include <optional>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include "config/profile_file.h"

namespace torvex {
namespace {

const QString kPcSection = QStringLiteral("PC config");
const QString kVemSection = QStringLiteral("VEM config");
const QString kPortKey = QStringLiteral("COM");
const QString kModeKey = QStringLiteral("COMSettings");
const QString kSlaveKey = QStringLiteral("MBSLAD");
const QString kEchoKey = QStringLiteral("Echo");
const QString kLinkKey = QStringLiteral("Link");
const QString kHostKey = QStringLiteral("Host");
const QString kTcpPortKey = QStringLiteral("TcpPort");
const QString kTimeoutKey = QStringLiteral("ResponseTimeoutMs");
const QString kPollPeriodKey = QStringLiteral("PollPeriodMs");
const QString kDefaultPort = QStringLiteral("1");

// "COM" is a number rounded to a whole one, a half to the even neighbour ("2.5" is 2), that
// must then fit a byte. The file is written with a decimal point whatever the operator's
// locale, so the C locale reads it.
std::optional<std::uint8_t> PortNumberFrom(const QString& text) {
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::RejectGroupSeparator);
  bool ok = false;
  const double value = c.toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  const double whole = std::nearbyint(value);  // the default rounding mode: half to even
  if (whole < 0 || whole > 255) return std::nullopt;
  return static_cast<std::uint8_t>(whole);
}

}  // namespace

QString IniPathIn(const QString& programDir) { return programDir + u'/' + kIniFileName; }

Configuration::Configuration(QString iniPath, MainView& view, StatusLine& status,
                             Prompter& prompter)
    : path_(std::move(iniPath)), view_(view), status_(status), prompter_(prompter) {}

void Configuration::SaveConfig() {
  runLink_.reset();
  runPortNumber_.reset();
  runPollPeriod_.reset();
  status_.ShowMessage(kStatusSavingConfig);
  // A key beyond the first three, written when it is not its default or is in the file already.
  const auto optional = [this](const QString& key, bool isDefault, const QString& value) {
    return (isDefault && !HasKey(key)) || Write(kPcSection, key, value);
  };
  const auto timeoutMs = responseTimeout_ ? responseTimeout_->count() : 0;
  // Stops at the first key the operator gives up on.
  (void)(Write(kPcSection, kPortKey, QString::number(portNumber_)) &&
         Write(kPcSection, kModeKey, portSettings_) &&
         Write(kVemSection, kSlaveKey, QString::number(view_.SlaveAddress())) &&
         optional(kEchoKey, !echo_, echo_ ? QStringLiteral("1") : QStringLiteral("0")) &&
         optional(kLinkKey, !link_.OnNetwork(), LinkKindName(link_.kind)) &&
         optional(kHostKey, link_.host.isEmpty(), link_.host) &&
         optional(kTcpPortKey, link_.tcpPort == DefaultTcpPort(link_.kind),
                  QString::number(link_.tcpPort)) &&
         optional(kTimeoutKey, !responseTimeout_, QString::number(timeoutMs)) &&
         optional(kPollPeriodKey, pollPeriod_ == kDefaultPollPeriod,
                  QString::number(pollPeriod_.count())));
  status_.ShowMessage(QString());
}

void Configuration::SetRunLink(const LinkChoice& link, std::optional<std::uint8_t> portNumber) {
  runLink_ = link;
  runPortNumber_ = portNumber;
  ApplyRunLink();
}

void Configuration::SetPollPeriod(std::chrono::milliseconds period) {
  pollPeriod_ = period;
  runPollPeriod_.reset();
}

void Configuration::ApplyRunLink() {
  if (runLink_) link_ = *runLink_;
  if (runPortNumber_) portNumber_ = *runPortNumber_;
}

// The line under a message of the file: which file, and why, as far as the system tells.
QString Configuration::FileLine(const QString& reason) const {
  const QString path = QDir::toNativeSeparators(path_);
  return reason.isEmpty() ? path : path + QStringLiteral(": ") + reason;
}

// One key; false when the operator gave up on it.
bool Configuration::Write(const QString& section, const QString& key, const QString& value) {
  for (;;) {
    try {
      WriteIni(path_, section, key, value);
      return true;
    } catch (const ProfileError& error) {
      const QString text = kIniWriteError + QStringLiteral("\r\n") + FileLine(error.reason());
      if (prompter_.RetryCancel(kIniErrorTitle, text) != Prompter::Choice::Retry) return false;
    }
  }
}

void Configuration::LoadConfig() {
  portNumber_ = 1;
  link_ = LinkChoice{};
  if (!QFileInfo::exists(path_)) {
    const std::optional<LinkChoice> runLink = runLink_;
    const std::optional<std::uint8_t> runPort = runPortNumber_;
    const std::optional<std::chrono::milliseconds> runPollPeriod = runPollPeriod_;
    SaveConfig();  // the file gets the defaults, never the run's link or period
    runLink_ = runLink;
    runPortNumber_ = runPort;
    runPollPeriod_ = runPollPeriod;
    ApplyRunLink();
    status_.ShowMessage(QString());
    return;
  }
  status_.ShowMessage(kStatusReadingConfig);
  for (;;) {
    QStringList replaced;
    const QString failure = ReadValues(replaced);
    if (failure.isEmpty() && replaced.isEmpty()) break;
    // A value replaced is shown as a failure is: Retry reads the file again, Cancel goes on
    // with what the message says is used instead.
    const QString reason = failure.isEmpty() ? replaced.join(QStringLiteral("\r\n")) : failure;
    if (prompter_.RetryCancel(kIniErrorTitle, kIniReadError + FileLine(reason)) !=
        Prompter::Choice::Retry) {
      if (failure.isEmpty()) break;
      ApplyRunLink();  // the run's link stands in all the same
      return;          // "Чтение конфигурации" stays, as the failure left it
    }
  }
  status_.ShowMessage(QString());
}

bool Configuration::HasKey(const QString& key) const {
  try {
    const QString absent = QStringLiteral("\x01");  // no key reads as this, nor any value
    return ReadIni(path_, kPcSection, key, absent) != absent;
  } catch (const ProfileError&) {
    return false;
  }
}

// Both values, or why not (never empty then) with PortNumber and PortSettings untouched. Each
// other value that is there but means nothing is replaced by its default, and `replaced` says
// which, with what is used instead.
QString Configuration::ReadValues(QStringList& replaced) {
  try {
    const QString com = ReadIni(path_, kPcSection, kPortKey, kDefaultPort);
    const std::optional<std::uint8_t> number = PortNumberFrom(com);
    if (!number) {
      return QStringLiteral("значение COM=«") + com +
             QStringLiteral("» не является номером порта 0-255");
    }
    QString mode = ReadIni(path_, kPcSection, kModeKey, kDefaultPortSettings);
    echo_ = ReadIni(path_, kPcSection, kEchoKey, QStringLiteral("0")).trimmed() == u"1";
    // An empty value stands for the default as a missing key does; anything else that is no
    // value of its key is named with what is used in its place.
    const auto value = [this](const QString& key) {
      return ReadIni(path_, kPcSection, key, QString()).trimmed();
    };
    const auto replace = [&replaced](const QString& key, const QString& text, const QString& what,
                                     const QString& instead) {
      replaced << QStringLiteral("значение %1=«%2» не является %3: используется %4")
                      .arg(key, text, what, instead);
    };
    // The file's link is not used while the run has one of its own: nothing to say of it then.
    const bool fileLink = !runLink_;
    LinkChoice link;
    const QString kindText = value(kLinkKey);
    const std::optional<LinkKind> kind = LinkKindFromName(kindText);
    if (!kind && !kindText.isEmpty() && fileLink) {
      replace(kLinkKey, kindText, QStringLiteral("способом связи (serial, rtu-over-tcp или modbus-tcp)"),
              QStringLiteral("serial (COM-порт)"));
    }
    link.kind = kind.value_or(LinkKind::kSerial);
    link.host = value(kHostKey);
    if (link.OnNetwork() && link.host.isEmpty() && fileLink) {
      replaced << QStringLiteral("значение %1=«» пусто: для связи %2 нужен адрес шлюза; соединения не "
                                 "будет, пока он не задан")
                      .arg(kHostKey, LinkKindName(link.kind));
    }
    const QString portText = value(kTcpPortKey);
    link.tcpPort = TcpPortFrom(portText).value_or(DefaultTcpPort(link.kind));
    if (!TcpPortFrom(portText) && !portText.isEmpty() && fileLink && link.OnNetwork()) {
      replace(kTcpPortKey, portText, QStringLiteral("портом TCP 1-65535"), QString::number(link.tcpPort));
    }
    const QString timeoutText = value(kTimeoutKey);
    bool timeoutOk = false;
    const int timeoutMs = timeoutText.toInt(&timeoutOk);
    responseTimeout_.reset();
    if (timeoutOk && timeoutMs > 0 && timeoutMs <= kMaxResponseTimeout.count()) {
      responseTimeout_ = std::chrono::milliseconds(timeoutMs);
    } else if (!timeoutText.isEmpty() && !(timeoutOk && timeoutMs == 0)) {
      replace(kTimeoutKey, timeoutText,
              QStringLiteral("ожиданием ответа (0 или 1-%1 мс)").arg(kMaxResponseTimeout.count()),
              QStringLiteral("автоматическое ожидание"));
    }
    const QString periodText = value(kPollPeriodKey);
    bool periodOk = false;
    const int periodMs = periodText.toInt(&periodOk);
    pollPeriod_ = periodOk && IsPollPeriod(std::chrono::milliseconds(periodMs))
                      ? std::chrono::milliseconds(periodMs)
                      : kDefaultPollPeriod;
    if (!periodText.isEmpty() && !(periodOk && IsPollPeriod(std::chrono::milliseconds(periodMs)))) {
      replace(kPollPeriodKey, periodText,
              QStringLiteral("периодом опроса (0 или %1-%2 мс)")
                  .arg(kMinPollPeriod.count())
                  .arg(kMaxPollPeriod.count()),
              QString::number(kDefaultPollPeriod.count()));
    }
    link_ = link;
    portNumber_ = *number;
    portSettings_ = std::move(mode);
    ApplyRunLink();
    return {};
  } catch (const ProfileError& error) {
    return error.reason().isEmpty() ? QStringLiteral("файл не читается") : error.reason();
  }
}

}  // namespace torvex
