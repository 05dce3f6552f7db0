#pragma once
// The logic of the port settings dialog wndSetCOM, apart from its widgets: lists the ports
// that can be opened now (COM1-COM16, every bound number and the port in use) with the device
// behind each (or says why none opens),
// switches the live port when an entry is chosen, checks the mode string on the port, saves the
// choice, the adapter's echo and the poll period, and on every way of closing restores or keeps
// the values and
// reopens the port. It works on the main window's one serial port, and on its one network link
// when "Подключение" chooses Modbus TCP or RTU over TCP: OK then connects (and says in the
// dialog why a connection fails) before it saves. The Qt dialog (src/ui) shows it; tests drive
// it with fakes.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QString>

#include "config/configuration.h"
#include "config/link_choice.h"
#include "platform/serial_adapters.h"
#include "platform/serial_port.h"
#include "view/status_line.h"

namespace torvex {

inline const QString kStatusNoPort = QStringLiteral("Порт не выбран или некорректные настройки");
inline const QString kNoHostText = QStringLiteral("Укажите адрес сервера: имя или IP-адрес");
inline const QString kBadTcpPortText = QStringLiteral("Порт сервера: число от 1 до 65535");
inline const QString kBadTimeoutText =
    QStringLiteral("Ожидание ответа: число миллисекунд от 1 до 60000, или пусто (автоматически)");
inline const QString kBadPollPeriodText =
    QStringLiteral("Период опроса: от 10 до 1000 мс или «непрерывно»");

// "Период опроса": a period shows as "N мс", zero as this.
inline const QString kContinuousPollText = QStringLiteral("непрерывно");
QString FormatPollPeriod(std::chrono::milliseconds period);
// What the operator typed or picked: "непрерывно" (zero), or a whole number of milliseconds
// from 10 to 1000 with or without " мс"; nothing for anything else.
std::optional<std::chrono::milliseconds> ParsePollPeriod(const QString& text);
// The periods the field offers, in its order.
inline constexpr std::chrono::milliseconds kListedPollPeriods[] = {
    std::chrono::milliseconds(0),   std::chrono::milliseconds(10),  std::chrono::milliseconds(20),
    std::chrono::milliseconds(50),  std::chrono::milliseconds(100), std::chrono::milliseconds(200),
    std::chrono::milliseconds(500), std::chrono::milliseconds(1000)};

// The link fields of the dialog as the operator typed them.
struct LinkFields {
  LinkKind kind = LinkKind::kSerial;
  QString host;
  QString tcpPort;
  QString responseTimeout;  // milliseconds; empty: automatic
  friend bool operator==(const LinkFields&, const LinkFields&) = default;
};

// The dialog's controls as the logic sees them.
class SetComView {
 public:
  virtual ~SetComView() = default;
  // cmbCOMList: empties it; appends an entry such as "COM3 — /dev/ttyUSB0, FTDI FT232R USB
  // UART, A50285BI"; selects one (-1: none, the box shows its placeholder).
  virtual void ClearPortEntries() = 0;
  virtual void AddPortEntry(const QString& entry) = 0;
  virtual void SelectPortEntry(int index) = 0;
  virtual int SelectedPortEntry() const = 0;
  // txt_settings: the mode string and its background colour (0xRRGGBB).
  virtual QString SettingsText() const = 0;
  virtual void SetSettingsText(const QString& text) = 0;
  virtual void SetSettingsColor(std::uint32_t rgb) = 0;
  // Why nothing is listed and how to bind an adapter, in place of the empty list; empty: hidden.
  virtual void ShowNoPorts(const QString& text) = 0;
  // The check box "Адаптер возвращает отправленное (эхо)".
  virtual bool EchoChecked() const = 0;
  virtual void SetEchoChecked(bool checked) = 0;
  // Lets the window and the exchange ticks run once, in the middle of the scan.
  virtual void YieldToEventLoop() = 0;
  // "Подключение" with "Адрес", "Порт" and "Ожидание ответа, мс".
  virtual LinkFields Link() const = 0;
  virtual void SetLink(const LinkFields& fields) = 0;
  // Why the link's entries (or the poll period) are refused or the connection failed; empty:
  // hidden.
  virtual void ShowLinkFault(const QString& text) = 0;
  // "Период опроса" as typed or picked.
  virtual QString PollPeriodEntry() const = 0;
  virtual void SetPollPeriodEntry(const QString& text) = 0;
};

class SetComLogic {
 public:
  // Always scanned: the machine's built-in ports. Bound numbers and the port in use come on top.
  static constexpr int kFirstListedPort = 1;
  static constexpr int kLastListedPort = 16;

  // holdSending(true) stops the exchange from writing while the scan opens ports only to see
  // whether they open; holdSending(false) lets it go on. It may be empty. `adapters` names the
  // adapters behind the listed ports; without it (nullptr) the devices show by path alone.
  // `network` is the link a network choice connects (nullptr: the serial port alone).
  SetComLogic(SerialPort& port, Configuration& config, StatusLine& status, SetComView& dialog,
              std::function<void(bool)> holdSending, AdapterSource* adapters = nullptr,
              TcpLink* network = nullptr);

  // Scans the ports into the list, selects the current one and reopens it (over a network
  // link the serial port stays closed).
  void Load();
  // While loading or connecting: the dialog may not close then.
  bool Loading() const { return loading_; }

  // After bindings were made or removed: lists the ports again; the live port stays the one in
  // use (the chosen entry, else the current port), now through its new link.
  void BindingsChanged();
  // The folder whose ports/ holds the bindings: the settings file's.
  QString SettingsDir() const;

  // cmbCOMList Click: entry `index` chosen by the operator. PortNumber waits for OK.
  void cmbCOMList_Click(int index);
  // OK Click: takes the choice, the mode, the echo box, the link and the poll period. False when
  // the port refuses the mode (the box turns red) or an entry is refused (the reason shows): the
  // dialog stays open. True once saved: the dialog closes.
  bool OK_Click();
  // Отмена Click: the dialog closes without taking anything.
  void Cancel_Click();
  // Every way of closing ends here: the port is restored or kept, then reopened.
  void Unload();

 private:
  void GiveScanMode();
  // workingPort: the number of the port that was open and working before the scan, 0 if none.
  void Scan(int workingPort);
  void SelectAndReopen(int number);
  void ReopenPort();
  // OK with a network link: the entries checked, the connection made. False, with the reason
  // in the dialog, when either fails.
  bool ConnectChosen(const LinkFields& fields);
  // The link the configuration names now is the one that is open.
  void OpenConfiguredLink();

  SerialPort& port_;
  Configuration& config_;
  StatusLine& status_;
  SetComView& dialog_;
  std::function<void(bool)> holdSending_;
  AdapterSource* adapters_;
  TcpLink* network_;

  std::vector<int> listedPorts_;  // the port number of each entry of cmbCOMList
  std::uint8_t savedPort_ = 0;
  QString savedSettings_;
  bool savedEcho_ = false;
  LinkChoice savedLink_;
  std::optional<std::chrono::milliseconds> savedTimeout_;
  bool loading_ = false;
};

}  // namespace torvex
