#pragma once
// The tool's configuration (module Module2): the serial port in use and its mode string, or the
// network link in its place, the response timeout and the poll period, kept in "тп.ini" together
// with the slave address (beside the program, or in the user's folder when the program's folder
// is not writable).
#include <chrono>
#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

#include "config/link_choice.h"

#include "view/main_view.h"
#include "view/prompter.h"
#include "view/status_line.h"

namespace torvex {

inline const QString kIniFileName = QStringLiteral("тп.ini");
// The mode string a file without "COMSettings" stands for.
inline const QString kDefaultPortSettings = QStringLiteral("9600,n,8,2");

inline const QString kStatusSavingConfig = QStringLiteral("Сохранение конфигурации");
inline const QString kStatusReadingConfig = QStringLiteral("Чтение конфигурации");
inline const QString kIniErrorTitle = QStringLiteral("Ошибка открытия файла ");
inline const QString kIniReadError = QStringLiteral("Ошибка открытия файла тп.ini для чтения\r\n");
inline const QString kIniWriteError = QStringLiteral("Ошибка открытия файла тп.ini для записи");

// Where the tool keeps its file: "тп.ini" in the given settings folder.
QString IniPathIn(const QString& programDir);

class Configuration {
 public:
  // The view gives the slave address to save; the status line shows the file work's steps.
  Configuration(QString iniPath, MainView& view, StatusLine& status, Prompter& prompter);

  // Reads "COM" and "COMSettings". With no file, writes one from the current values instead
  // (and leaves PortSettings as it is). A "COM" value that is not a number in 0-255, or a file
  // that exists but cannot be read, asks Retry/Cancel; Cancel leaves PortNumber at 1. A value of
  // the other keys that means nothing (Link=foo, TcpPort=70000, PollPeriodMs=5, an empty Host
  // with a network link) asks the same, naming the key, the value and what is used instead;
  // Cancel goes on with that. The file is never changed by reading it. The messages of both
  // procedures add a line with the file's path and the reason.
  void LoadConfig();
  // Writes "COM", "COMSettings" and "MBSLAD" (the view's slave address, -1 with none
  // selected), and "Echo", "Link", "Host", "TcpPort", "ResponseTimeoutMs" and "PollPeriodMs"
  // when they differ from their defaults or the file has them already, so that a file of a tool
  // on a local port with the defaults keeps its three keys. A key that cannot be written asks
  // Retry/Cancel; Cancel gives up the rest. Saving is the operator's choice: a link or a poll
  // period given for the run alone gives way to it.
  void SaveConfig();

  std::uint8_t PortNumber() const { return portNumber_; }
  void SetPortNumber(std::uint8_t number) { portNumber_ = number; }
  const QString& PortSettings() const { return portSettings_; }
  void SetPortSettings(const QString& mode) { portSettings_ = mode; }

  // Whether the adapter returns what the tool sends (a 2-wire RS-485 adapter's echo): "Echo" in
  // "PC config", 1 for yes; absent (as in every file before it) or anything else means no.
  bool Echo() const { return echo_; }
  void SetEcho(bool echo) { echo_ = echo; }

  // Whether the last use of the settings dialog ended with an accepted OK; it carries over to
  // the next use of the dialog.
  bool SettingsAccepted() const { return settingsAccepted_; }
  void SetSettingsAccepted(bool accepted) { settingsAccepted_ = accepted; }

  // The link the exchange runs on: "Link" ("serial" when absent or not understood), "Host",
  // "TcpPort" (the kind's default when absent or not a port number).
  const LinkChoice& Link() const { return link_; }
  void SetLink(const LinkChoice& link) { link_ = link; }
  // A link (and with a serial link, a port number) for this run only, as --connect gives it:
  // it stands in for the file's after every reading of the file, and is never written.
  void SetRunLink(const LinkChoice& link, std::optional<std::uint8_t> portNumber);

  // "ResponseTimeoutMs": how long an answer is waited for; nothing (absent, 0 or not a number
  // of 1-60000 ms) for the automatic wait.
  std::optional<std::chrono::milliseconds> ResponseTimeout() const { return responseTimeout_; }
  void SetResponseTimeout(std::optional<std::chrono::milliseconds> timeout) {
    responseTimeout_ = timeout;
  }
  static constexpr std::chrono::milliseconds kMaxResponseTimeout{60000};

  static constexpr std::chrono::milliseconds kDefaultPollPeriod{100};
  static constexpr std::chrono::milliseconds kMinPollPeriod{10};
  static constexpr std::chrono::milliseconds kMaxPollPeriod{1000};
  // Zero (continuous) or kMinPollPeriod-kMaxPollPeriod; in the file anything else stands for
  // the default.
  static constexpr bool IsPollPeriod(std::chrono::milliseconds period) {
    return period.count() == 0 || (period >= kMinPollPeriod && period <= kMaxPollPeriod);
  }
  // "PollPeriodMs": the time from one request to the next; zero for continuous polling.
  std::chrono::milliseconds PollPeriod() const { return runPollPeriod_.value_or(pollPeriod_); }
  void SetPollPeriod(std::chrono::milliseconds period);
  // A period for this run only (--poll-period): it stands in for the file's after every reading
  // of the file and is never written; the dialog's OK (an operator's choice) replaces it.
  void SetRunPollPeriod(std::chrono::milliseconds period) { runPollPeriod_ = period; }

  const QString& IniPath() const { return path_; }

 private:
  QString ReadValues(QStringList& replaced);
  QString FileLine(const QString& reason) const;
  bool HasKey(const QString& key) const;
  void ApplyRunLink();
  bool Write(const QString& section, const QString& key, const QString& value);

  QString path_;
  MainView& view_;
  StatusLine& status_;
  Prompter& prompter_;
  std::uint8_t portNumber_ = 0;
  QString portSettings_;
  bool settingsAccepted_ = false;
  bool echo_ = false;
  LinkChoice link_;
  std::optional<std::chrono::milliseconds> responseTimeout_;
  // The file's period (or the operator's, once chosen); the run's stands in for it.
  std::chrono::milliseconds pollPeriod_ = kDefaultPollPeriod;
  std::optional<std::chrono::milliseconds> runPollPeriod_;
  std::optional<LinkChoice> runLink_;
  std::optional<std::uint8_t> runPortNumber_;
};

}  // namespace torvex
