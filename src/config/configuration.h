#pragma once
// The tool's configuration (module Module2): the serial port in use and its mode string, kept in
// "тп.ini" together with the slave address (beside the program, or in the user's folder when
// the program's folder is not writable).
#include <cstdint>

#include <QString>

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
  // that exists but cannot be read, asks Retry/Cancel; Cancel leaves PortNumber at 1. The
  // messages of both procedures add a line with the file's path and the reason.
  void LoadConfig();
  // Writes "COM", "COMSettings" and "MBSLAD" (the view's slave address, -1 with none
  // selected), and "Echo" when it is on or the file has it already, so that a file of a tool
  // without an echoing adapter keeps its three keys. A key that cannot be written asks
  // Retry/Cancel; Cancel gives up the rest.
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

  const QString& IniPath() const { return path_; }

 private:
  QString ReadValues();
  QString FileLine(const QString& reason) const;
  bool HasEchoKey() const;
  bool Write(const QString& section, const QString& key, const QString& value);

  QString path_;
  MainView& view_;
  StatusLine& status_;
  Prompter& prompter_;
  std::uint8_t portNumber_ = 0;
  QString portSettings_;
  bool settingsAccepted_ = false;
  bool echo_ = false;
};

}  // namespace torvex
