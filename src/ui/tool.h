#pragma once
// The composition root of the tool: the main window, the configuration, the exchange engine,
// the parameter module and the exchange timer, created once and wired together. FormLoad runs
// the start-up in its fixed order; from then on the timer and the operator drive everything.
#include <memory>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "config/configuration.h"
#include "engine/modbus_engine.h"
#include "monitor/exchange_log.h"
#include "monitor/exchange_trace.h"
#include "params/param_transfer.h"
#include "platform/qt_adapter_source.h"
#include "platform/serial_port.h"
#include "platform/tcp_link.h"
#include "record/recording.h"
#include "ui/main_window.h"
#include "ui/paced_view.h"
#include "ui/param_file_menu.h"
#include "ui/polled_exchange.h"
#include "ui/recording_menu.h"

namespace torvex {

class CheckoutWindow;
class ExchangeMonitor;
class SearchWindow;
namespace search {
struct SearchFind;
}
class Prompter;
class SerialPort;

// Appended to the status line after every exchange tick while the exchange log cannot be
// written.
inline const QString kStatusLogFailingNote = QStringLiteral(" Журнал обмена не записывается");
// Appended while the echo box is ticked but answers come without the echo.
inline const QString kStatusNoEchoNote =
    QStringLiteral(" Адаптер, похоже, не возвращает отправленное: снимите отметку эха в настройке порта");

inline const QString kPortErrorTitle = QStringLiteral("Ошибка открытия порта");
inline const QString kNetworkErrorTitle = QStringLiteral("Ошибка соединения");
// The status line when the operator's output command is refused while a checkout drives them.
inline const QString kStatusCheckoutOwnsOutputs = QStringLiteral(
    "Идёт проверка контроллера: команды выходов не выполняются, пока она не закончится");
// The status line while a search has the port.
inline const QString kStatusSearching = QStringLiteral("Поиск контроллера…");

// The message of a failed port opening, lines joined by CR LF: what failed, then, when a device
// was tried, the device and the reason, then what to do.
QString PortErrorMessage(const PortError& error, std::uint8_t portNumber);
// The message of a connection that did not come about, in the same three lines: the server, why,
// what to do.
QString NetworkErrorMessage(const NetworkTarget& target, const NetworkFault& fault);

class Tool : public QObject {
  Q_OBJECT
 public:
  // settingsDir holds "тп.ini"; the port is the one serial port of the whole run. A network link
  // of the tool's own is used in its place when the configuration says so.
  Tool(const QString& settingsDir, SerialPort& port, Prompter& prompter);
  // The port outlives the tool: it no longer tells it of arrivals.
  ~Tool() override;

  // Start-up. Returns false when the operator ended the program at a failed port opening;
  // the window has not been shown then.
  bool FormLoad();

  MainWindow& Window() { return window_; }
  ModbusEngine& Engine() { return engine_; }
  PolledExchange& Exchange() { return exchange_; }
  Configuration& Config() { return config_; }
  ParamTransfer& Params() { return params_; }
  record::Recording& Recording() { return recording_; }
  torvex::RecordingMenu& RecordingMenu() { return recordingMenu_; }
  ParamFileMenu& ParamFiles() { return paramFiles_; }
  QTimer& Timer1() { return Timer1_; }
  TcpLink& Network() { return network_; }
  ExchangeTrace& Trace() { return trace_; }
  // Where the settings dialog finds the serial adapters present (the system's listing unless
  // set); not owned.
  void SetAdapterSource(AdapterSource& adapters) { adapters_ = &adapters; }

  // Appends every frame from now on to the file at path. A file that cannot be written is
  // reported (on standard error once, and in the status line while it lasts) and never stops
  // the exchange.
  void OpenExchangeLog(const QString& path);
  // The window "Монитор обмена", created at its first opening; shown and raised.
  ExchangeMonitor& ShowMonitor();
  // The window "Поиск контроллера" for the link in use now, created at its opening; shown and
  // raised.
  SearchWindow& ShowSearch();
  // The window "Проверка контроллера", created at its first opening and kept (a run goes on,
  // or puts the outputs back, while it is closed); shown and raised.
  CheckoutWindow& ShowCheckout();

  // The tick the exchange timer runs every poll period, 100 ms unless set otherwise (tests and
  // benchmarks call it by hand): the exchange, then the notes of the status line. Polling
  // continuously, the timer is a single shot at the moment the exchange names, and bytes
  // arriving tick too.
  void Timer1_Tick();
  // What the exchange writes into the window; paced while polling faster than the window
  // refreshes.
  PacedView& Paced() { return paced_; }
  // Polling faster than this, the window's labels follow the exchange this often: as often as
  // the usual tick has always shown them. Redrawing them costs more than the exchange itself.
  static constexpr std::chrono::milliseconds kWindowRefresh{100};

 private:
  void ConnectHandlers();
  void ApplyPollPeriod();
  void OnTimer1();
  void OnArrival();
  void ArmWake();
  bool OpenLink();
  ByteLink& ConfiguredLink();
  void OpenSearch() { ShowSearch(); }
  void ShowSettings();
  void ReopenSerialPort();
  void ApplyFind(const search::SearchFind& find);
  bool CheckoutDrivesOutputs();
  bool eventFilter(QObject* watched, QEvent* event) override;

  SerialPort& port_;
  TcpLink network_;
  Prompter& prompter_;
  MainWindow window_;
  PacedView paced_{window_};
  PolledExchange exchange_;
  ModbusEngine& engine_;
  Configuration config_;
  ParamTransfer params_;
  record::Recording recording_;
  torvex::RecordingMenu recordingMenu_;
  ParamFileMenu paramFiles_;
  QTimer Timer1_;
  // Hands the paced window its values while polling is faster than it refreshes.
  QTimer refreshTimer_;
  bool ticking_ = false;
  bool timerFiring_ = false;
  ExchangeTrace trace_;
  std::unique_ptr<ExchangeLogFile> log_;
  bool logFailing_ = false;
  // An output command was refused during the checkout still running.
  bool outputsRefused_ = false;
  QPointer<ExchangeMonitor> monitor_;
  QPointer<SearchWindow> searchWindow_;
  QPointer<CheckoutWindow> checkoutWindow_;
  QtAdapterSource systemAdapters_;
  AdapterSource* adapters_ = &systemAdapters_;
};

}  // namespace torvex
