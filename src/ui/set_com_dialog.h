#pragma once
// The port settings dialog wndSetCOM: the widgets over SetComLogic, which lists the ports,
// switches the live port, checks and saves the choice and reopens the port when the dialog
// closes; beside them, "Привязать адаптер…" and the adapter's echo box, and the choice of
// "Подключение" (the COM port, Modbus TCP, RTU over TCP) with the server's address and port, the
// response timeout and the poll period. It works on the main window's one serial port and one
// network link.
#include <cstdint>

#include <QDialog>
#include <QString>

#include "config/set_com_logic.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace torvex {

class AdapterSource;
class Configuration;
class StatusLine;
class ModbusEngine;
class SerialPort;
class TcpLink;

inline const QString kBindAdapterButton = QStringLiteral("Привязать адаптер…");
inline const QString kFindControllerButton = QStringLiteral("Найти контроллер…");
inline const QString kEchoCheckBox = QStringLiteral("Адаптер возвращает отправленное (эхо)");
// The choices of "Подключение", in the order of LinkKind.
inline const QString kLinkSerialText = QStringLiteral("COM-порт");
inline const QString kLinkModbusTcpText = QStringLiteral("Modbus TCP");
inline const QString kLinkRtuOverTcpText = QStringLiteral("RTU поверх TCP");

class SetComDialog : public QDialog, private SetComView {
  Q_OBJECT

 public:
  static constexpr int kFirstListedPort = SetComLogic::kFirstListedPort;
  static constexpr int kLastListedPort = SetComLogic::kLastListedPort;

  // Start-up, after a port that did not open: shows the dialog modally over `owner` and returns
  // once it has closed, with the port reopened or the failure in the status line.
  static void ExecModal(SerialPort& port, Configuration& config, StatusLine& status,
                        ModbusEngine& engine, QWidget* owner, AdapterSource* adapters = nullptr,
                        TcpLink* network = nullptr);
  // The menu: shows the dialog without blocking `owner` and returns at once; the dialog deletes
  // itself when closed. While one is open, this brings it to the front instead. The dialog
  // belongs to `owner`, so it goes when the owner goes and never keeps the program running.
  static SetComDialog* ShowModeless(SerialPort& port, Configuration& config, StatusLine& status,
                                    ModbusEngine& engine, QWidget* owner,
                                    AdapterSource* adapters = nullptr, TcpLink* network = nullptr);

  // Loads at once: scans the ports (the exchange sends nothing meanwhile) and reopens the
  // current one. One instance serves one use of the dialog. `adapters` names the devices behind
  // the listed ports and offers them for binding; without it, the devices show by path alone.
  // `network` is the link that "Modbus TCP" and "RTU поверх TCP" connect; without it the
  // choice offers the serial port alone.
  SetComDialog(SerialPort& port, Configuration& config, StatusLine& status, ModbusEngine& engine,
               QWidget* owner = nullptr, AdapterSource* adapters = nullptr,
               TcpLink* network = nullptr);

  // Every way of closing ends here (OK, Отмена, the close box, Escape): the port is restored
  // or kept, then reopened.
  void done(int result) override;

  // Shows "Найти контроллер…", for whoever listens to FindControllerClicked.
  void OfferControllerSearch();

 signals:
  // "Найти контроллер…": whoever shows the search window listens.
  void FindControllerClicked();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void OK_Click();
  void Cancel_Click();
  void BindAdapter_Click();
  void LinkKindChosen();

  // SetComView
  void ClearPortEntries() override;
  void AddPortEntry(const QString& entry) override;
  void SelectPortEntry(int index) override;
  int SelectedPortEntry() const override;
  QString SettingsText() const override;
  void SetSettingsText(const QString& text) override;
  void SetSettingsColor(std::uint32_t rgb) override;
  void ShowNoPorts(const QString& text) override;
  bool EchoChecked() const override;
  void SetEchoChecked(bool checked) override;
  void YieldToEventLoop() override;
  LinkFields Link() const override;
  void SetLink(const LinkFields& fields) override;
  void ShowLinkFault(const QString& text) override;
  QString PollPeriodEntry() const override;
  void SetPollPeriodEntry(const QString& text) override;

  Configuration& config_;
  AdapterSource* adapters_;
  QComboBox* cmbCOMList_ = nullptr;
  QLineEdit* txt_settings_ = nullptr;
  QLabel* lblNoPorts_ = nullptr;
  QCheckBox* chkEcho_ = nullptr;
  QPushButton* findController_ = nullptr;
  QComboBox* cmbLink_ = nullptr;
  QLineEdit* txtHost_ = nullptr;
  QLineEdit* txtTcpPort_ = nullptr;
  QLineEdit* txtTimeout_ = nullptr;
  QComboBox* cmbPollPeriod_ = nullptr;
  QLabel* lblLinkFault_ = nullptr;
  QList<QWidget*> networkRows_;
  LinkKind shownKind_ = LinkKind::kSerial;
  SetComLogic logic_;
};

}  // namespace torvex
