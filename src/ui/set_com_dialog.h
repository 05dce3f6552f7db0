#pragma once
// The port settings dialog wndSetCOM: lists the ports COM1-COM16 that can be opened now, switches
// the live port when an entry is chosen, checks the mode string on the port, saves the choice
// and reopens the port when it closes. It works on the main window's one serial port.
#include <cstdint>

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;

namespace torvex {

class Configuration;
class MainView;
class ModbusEngine;
class SerialPort;

inline const QString kStatusNoPort = QStringLiteral("Порт не выбран или некорректные настройки");

class SetComDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kFirstListedPort = 1;
  static constexpr int kLastListedPort = 16;

  // Start-up, after a port that did not open: shows the dialog modally over `owner` and returns
  // once it has closed, with the port reopened or the failure in the status line.
  static void ExecModal(SerialPort& port, Configuration& config, MainView& view,
                        ModbusEngine& engine, QWidget* owner);
  // The menu: shows the dialog without blocking `owner` and returns at once; the dialog deletes
  // itself when closed. While one is open, this brings it to the front instead. The dialog
  // belongs to `owner`, so it goes when the owner goes and never keeps the program running.
  static SetComDialog* ShowModeless(SerialPort& port, Configuration& config, MainView& view,
                                    ModbusEngine& engine, QWidget* owner);

  // Loads at once: scans the ports (the exchange sends nothing meanwhile) and reopens the
  // current one. One instance serves one use of the dialog.
  SetComDialog(SerialPort& port, Configuration& config, MainView& view, ModbusEngine& engine,
               QWidget* owner = nullptr);

  // Every way of closing ends here (OK, Отмена, the close box, Escape): the port is restored
  // or kept, then reopened.
  void done(int result) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void Load();
  void GiveScanMode();
  void cmbCOMList_Click(int index);
  void OK_Click();
  void Cancel_Click();
  void Unload();
  void ReopenPort();
  void SetSettingsColor(std::uint32_t rgb);

  SerialPort& port_;
  Configuration& config_;
  MainView& view_;
  ModbusEngine& engine_;

  QComboBox* cmbCOMList_ = nullptr;
  QLineEdit* txt_settings_ = nullptr;

  std::uint8_t SavedPort_ = 0;
  QString SavedSettings_;
  bool loading_ = false;
};

}  // namespace torvex
