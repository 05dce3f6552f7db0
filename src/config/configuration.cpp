#include "config/configuration.h"

#include <cmath>
#include <optional>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QLocale>

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
  for (QString failure = ReadValues(); !failure.isEmpty(); failure = ReadValues()) {
    if (prompter_.RetryCancel(kIniErrorTitle, kIniReadError + FileLine(failure)) !=
        Prompter::Choice::Retry) {
      return;  // "Чтение конфигурации" stays, as the failure left it
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

// Both values, or why not (never empty then) with PortNumber and PortSettings untouched.
QString Configuration::ReadValues() {
  try {
    const QString com = ReadIni(path_, kPcSection, kPortKey, kDefaultPort);
    const std::optional<std::uint8_t> number = PortNumberFrom(com);
    if (!number) {
      return QStringLiteral("значение COM=«") + com +
             QStringLiteral("» не является номером порта 0-255");
    }
    QString mode = ReadIni(path_, kPcSection, kModeKey, kDefaultPortSettings);
    echo_ = ReadIni(path_, kPcSection, kEchoKey, QStringLiteral("0")).trimmed() == u"1";
    LinkChoice link;
    link.kind = LinkKindFromName(ReadIni(path_, kPcSection, kLinkKey, QString()))
                    .value_or(LinkKind::kSerial);
    link.host = ReadIni(path_, kPcSection, kHostKey, QString()).trimmed();
    link.tcpPort = TcpPortFrom(ReadIni(path_, kPcSection, kTcpPortKey, QString()))
                       .value_or(DefaultTcpPort(link.kind));
    bool timeoutOk = false;
    const int timeoutMs = ReadIni(path_, kPcSection, kTimeoutKey, QString()).trimmed().toInt(&timeoutOk);
    responseTimeout_.reset();
    if (timeoutOk && timeoutMs > 0 && timeoutMs <= kMaxResponseTimeout.count()) {
      responseTimeout_ = std::chrono::milliseconds(timeoutMs);
    }
    bool periodOk = false;
    const int periodMs =
        ReadIni(path_, kPcSection, kPollPeriodKey, QString()).trimmed().toInt(&periodOk);
    pollPeriod_ = periodOk && IsPollPeriod(std::chrono::milliseconds(periodMs))
                      ? std::chrono::milliseconds(periodMs)
                      : kDefaultPollPeriod;
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
