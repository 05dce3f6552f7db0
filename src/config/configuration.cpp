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
  status_.ShowMessage(kStatusSavingConfig);
  // Stops at the first key the operator gives up on.
  (void)(Write(kPcSection, kPortKey, QString::number(portNumber_)) &&
         Write(kPcSection, kModeKey, portSettings_) &&
         Write(kVemSection, kSlaveKey, QString::number(view_.SlaveAddress())) &&
         (!(echo_ || HasEchoKey()) ||
          Write(kPcSection, kEchoKey, echo_ ? QStringLiteral("1") : QStringLiteral("0"))));
  status_.ShowMessage(QString());
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
  if (!QFileInfo::exists(path_)) {
    SaveConfig();
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

bool Configuration::HasEchoKey() const {
  try {
    const QString absent = QStringLiteral("\x01");  // no key reads as this, nor any value
    return ReadIni(path_, kPcSection, kEchoKey, absent) != absent;
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
    portNumber_ = *number;
    portSettings_ = std::move(mode);
    return {};
  } catch (const ProfileError& error) {
    return error.reason().isEmpty() ? QStringLiteral("файл не читается") : error.reason();
  }
}

}  // namespace torvex
