#include "ui/tool.h"

#include <algorithm>
#include <cstdio>

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QGuiApplication>
#include <QScreen>

#include "decode/decode_response.h"
#include "platform/serial_port.h"
#include "record/sample_from_answer.h"
#include "config/set_com_logic.h"
#include "search/controller_search.h"
#include "ui/checkout_window.h"
#include "ui/exchange_monitor.h"
#include "ui/search_window.h"
#include "ui/output_commands.h"
#include "ui/status_words.h"
#include "view/prompter.h"
#include "ui/set_com_dialog.h"
#include "ui/window_placement.h"

namespace torvex {
namespace {

constexpr int kMeasuringView = 1;
// The exchange monitor is still readable down to this size.
constexpr int kMonitorMinWidth = 560;
constexpr int kMonitorMinHeight = 240;

}  // namespace

QString PortErrorMessage(const PortError& error, std::uint8_t portNumber) {
  const QString port = QStringLiteral("Порт COM") + QString::number(portNumber);
  QString first = port + QStringLiteral(" не доступен");
  QString advice = QStringLiteral("Выберите другой порт");
  switch (error.kind()) {
    case PortError::Kind::InvalidValue:
      first = QStringLiteral("Некорректные настройки порта COM");
      advice = QStringLiteral("Измените настройки");
      break;
    case PortError::Kind::InUse:
      first = port + QStringLiteral(" занят другим приложением");
      break;
    case PortError::Kind::Unavailable:
      break;
  }
  // The device behind the number and what is wrong with it, when a device was tried.
  const QString reason =
      error.fault() ? PortFaultText(*error.fault()) + QStringLiteral("\r\n") : QString();
  return first + QStringLiteral("\r\n") + reason + advice;
}

QString NetworkErrorMessage(const NetworkTarget& target, const NetworkFault& fault) {
  // An empty "Host" in the file: there is nothing to connect to, whatever the socket says.
  if (target.host.isEmpty()) {
    return QStringLiteral("Нет соединения: адрес шлюза не задан\r\nЗначение Host в тп.ini пусто\r\n"
                          "Укажите адрес в настройке");
  }
  return QStringLiteral("Нет соединения с ") + target.HostPort() + QStringLiteral("\r\n") +
         NetworkFaultText(target, fault) + QStringLiteral("\r\n") +
         QStringLiteral("Проверьте адрес и порт в настройке");
}

Tool::Tool(const QString& settingsDir, SerialPort& port, Prompter& prompter)
    : port_(port),
      prompter_(prompter),
      exchange_(port, paced_),
      engine_(exchange_.Engine()),
      config_(IniPathIn(settingsDir), window_, exchange_.Presenter(), prompter),
      params_(engine_, window_),
      recordingMenu_(window_, recording_, exchange_.Presenter()),
      paramFiles_(window_, params_, engine_, exchange_.Presenter()) {
  Timer1_.setInterval(ModbusEngine::kTick);
  refreshTimer_.setInterval(kWindowRefresh);
  engine_.SetObserver(&trace_);
  engine_.SetDecoder([this](const RxAnswer& answer) {
    const ChannelTypes& types = params_.Model().SensorTypes();
    DecodeResponse(answer, paced_, types,
                   [this](const RxAnswer& param) { params_.DecodeParamAnswer(param); });
    // The sample takes the sensor types the window showed it with.
    const auto sample =
        record::SampleFromAnswer(answer, types, QDateTime::currentMSecsSinceEpoch());
    if (sample) recording_.Add(*sample);
    paramFiles_.OnAnswer(answer);
    if (checkoutWindow_) checkoutWindow_->OnAnswer(answer);
  });
  QAction* checkout = window_.menuBar()->addAction(QStringLiteral("Проверка контроллера"));
  checkout->setObjectName(QStringLiteral("mnu_checkout"));
  connect(checkout, &QAction::triggered, this, [this] { ShowCheckout(); });
  window_.installEventFilter(this);
  ConnectHandlers();
}

Tool::~Tool() { port_.SetArrivalHandler({}); }

void Tool::ConnectHandlers() {
  connect(&Timer1_, &QTimer::timeout, this, &Tool::OnTimer1);
  connect(&refreshTimer_, &QTimer::timeout, this, [this] { paced_.Flush(); });
  port_.SetArrivalHandler([this] { OnArrival(); });
  network_.SetArrivalHandler([this] { OnArrival(); });
  connect(&window_, &MainWindow::cmd_read_Click, this, [this] { QueueOutputsRead(engine_); });
  connect(&window_, &MainWindow::cmd_set_Click, this, [this] {
    if (!CheckoutDrivesOutputs()) QueueOutputsWrite(engine_, window_);
  });
  connect(&window_, &MainWindow::opt_view_Click, this,
          [this](int index) { ShowViewMode(window_, index); });
  connect(&window_, &MainWindow::txt_dac_KeyPress, this, [this](int index) {
    if (!CheckoutDrivesOutputs()) QueueAnalogOutput(engine_, window_, index);
  });
  connect(&window_, &MainWindow::txt_par_Change, this,
          [this](int index) { params_.txt_par_Change(index); });
  connect(&window_, &MainWindow::txt_par_KeyPress, this,
          [this](int index) { params_.txt_par_KeyPress(index); });
  connect(&window_, &MainWindow::cmd_readall_Click, this, [this] { params_.cmd_readall_Click(); });
  connect(&window_, &MainWindow::cmd_writeall_Click, this,
          [this] { params_.cmd_writeall_Click(); });
  connect(&window_, &MainWindow::mnu_settings_Click, this, &Tool::ShowSettings);
  connect(&window_, &MainWindow::mnu_search_Click, this, &Tool::OpenSearch);
  connect(&window_, &MainWindow::mnu_monitor_Click, this, [this] { ShowMonitor(); });
}

void Tool::OpenExchangeLog(const QString& path) {
  log_ = std::make_unique<ExchangeLogFile>(path);
  log_->SetStateHandler([this, path](const Result& writing) {
    if (!writing && !logFailing_) {
      std::fprintf(stderr, "torvex-tp: журнал обмена «%s» не записывается: %s\n",
                   qUtf8Printable(path), qUtf8Printable(writing.Why()));
    }
    logFailing_ = !writing;
  });
  log_->Open();
  trace_.SetLog(log_.get());
}

ExchangeMonitor& Tool::ShowMonitor() {
  if (!monitor_) {
    monitor_ = new ExchangeMonitor(trace_, &window_);
    // Beside the main window, never over it.
    if (QScreen* screen = window_.screen()) {
      const Placement place = PlaceBeside(window_.frameGeometry(), monitor_->frameSize(),
                                          screen->availableGeometry(), kMonitorMinWidth,
                                          kMonitorMinHeight);
      if (place.mainMoves) window_.move(*place.mainMoves);
      // A window not shown yet has no frame: its frame is its client area until then.
      const QSize frame = monitor_->frameGeometry().size() - monitor_->size();
      monitor_->resize(place.window.size() - frame);
      monitor_->move(place.window.topLeft());
    }
  }
  monitor_->show();
  monitor_->raise();
  monitor_->activateWindow();
  return *monitor_;
}

SearchWindow& Tool::ShowSearch() {
  if (!searchWindow_) {
    SearchWindow::Where where;
    where.comPort = config_.PortNumber();
    where.configuredMode = config_.PortSettings();
    where.selectedAddress = window_.SlaveAddress();
    where.onNetwork = config_.Link().OnNetwork();
    where.modbusTcp = config_.Link().kind == LinkKind::kModbusTcp;
    where.linkName = LinkUrl(config_.Link(), config_.PortNumber());
    SearchWindow::Hooks hooks;
    // The exchange stops with its queue as it is; the port is the search's until it ends.
    hooks.stepAside = [this] {
      Timer1_.stop();
      exchange_.Presenter().ShowMessage(kStatusSearching);
    };
    hooks.comeBack = [this] {
      if (!config_.Link().OnNetwork()) ReopenSerialPort();
      Timer1_.start();
    };
    hooks.apply = [this](const search::SearchFind& find) { ApplyFind(find); };
    searchWindow_ =
        new SearchWindow(port_, network_, where, std::move(hooks), &trace_, &window_);
    searchWindow_->setAttribute(Qt::WA_DeleteOnClose);
  }
  searchWindow_->show();
  searchWindow_->raise();
  searchWindow_->activateWindow();
  return *searchWindow_;
}

CheckoutWindow& Tool::ShowCheckout() {
  if (!checkoutWindow_) {
    checkoutWindow_ = new CheckoutWindow(
        engine_,
        [this] {
          return CheckoutWindow::Where{LinkUrl(config_.Link(), config_.PortNumber()),
                                       config_.Link().OnNetwork() ? QString() : config_.PortSettings(),
                                       window_.SlaveAddress()};
        },
        &window_);
  }
  checkoutWindow_->show();
  checkoutWindow_->raise();
  checkoutWindow_->activateWindow();
  return *checkoutWindow_;
}

// While a checkout drives the outputs, the operator's own output commands would spoil it. The
// refusal stays in the status line, behind the exchange's words, until the checkout ends.
bool Tool::CheckoutDrivesOutputs() {
  if (!checkoutWindow_ || !checkoutWindow_->Active()) return false;
  outputsRefused_ = true;
  exchange_.Presenter().ShowMessage(kStatusCheckoutOwnsOutputs);
  return true;
}

// The main window closing ends a checkout first: the outputs are put back while the exchange
// still runs (a few seconds at most), then the window closes.
bool Tool::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_ && event->type() == QEvent::Close && checkoutWindow_ && checkoutWindow_->Active()) {
    constexpr int kRestoreWaitMs = 3000;
    checkoutWindow_->StopRun();
    QElapsedTimer waited;
    waited.start();
    while (checkoutWindow_->Active() && waited.elapsed() < kRestoreWaitMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
  }
  return QObject::eventFilter(watched, event);
}

void Tool::ReopenSerialPort() {
  const auto opened = TryPort([this] {
    if (port_.IsOpen()) port_.Close();
    port_.SetSettings(config_.PortSettings());
    port_.SetCommPort(config_.PortNumber());
    port_.Open();
  });
  if (!opened) exchange_.Presenter().ShowMessage(kStatusNoPort);
}

// The find's port and mode become the ones in use (saved by the settings dialog's OK, which
// opens with them), and its address is selected in cmb_slad.
void Tool::ApplyFind(const search::SearchFind& find) {
  if (find.probe.port != 0) {
    config_.SetPortNumber(static_cast<std::uint8_t>(find.probe.port));
    config_.SetPortSettings(find.probe.mode);
    if (!config_.Link().OnNetwork()) ReopenSerialPort();
  }
  window_.SelectSlaveAddress(find.probe.address);
  ShowSettings();
}

// The settings dialog from the menu, with "Найти контроллер…".
void Tool::ShowSettings() {
  SetComDialog* dialog = SetComDialog::ShowModeless(port_, config_, exchange_.Presenter(), engine_,
                                                    &window_, adapters_, &network_);
  connect(dialog, &SetComDialog::FindControllerClicked, this, &Tool::OpenSearch,
          Qt::UniqueConnection);
  dialog->OfferControllerSearch();
}

bool Tool::FormLoad() {
  config_.LoadConfig();
  window_.SetChecked({Control::opt_view, kMeasuringView}, true);
  window_.FillSlaveAddresses();
  window_.CreateDiscreteInputs();
  window_.CreateDiscreteOutputs();

  if (!OpenLink()) return false;

  params_.InitParamTable();
  // Also after the dialog: without the sensor types, the channels cannot be shown or
  // recorded. While no port works the reads wait at the head of the queue.
  params_.ReadAllParams();
  window_.show();
  ApplyPollPeriod();
  Timer1_.start();
  return true;
}

// The link the configuration names, opened; when it does not open, the operator reads why and
// chooses between the settings dialog (OK) and the end of the run (Cancel, false).
bool Tool::OpenLink() {
  QString title = kPortErrorTitle;
  QString message;
  if (config_.Link().OnNetwork()) {
    const NetworkTarget target = config_.Link().Target();
    network_.Connect(target);  // and again each second, should it fail
    const BasicResult<NetworkFault> connected = network_.WaitConnected();
    if (connected) return true;
    title = kNetworkErrorTitle;
    message = NetworkErrorMessage(target, connected.Why());
  } else {
    try {
      port_.SetSettings(config_.PortSettings());
      port_.SetCommPort(config_.PortNumber());
      port_.Open();
      return true;
    } catch (const PortError& error) {
      message = PortErrorMessage(error, config_.PortNumber());
    }
  }
  // The window (and what a desktop shows of it behind the box and the dialog) names the link
  // that failed, not the caption it was designed with.
  exchange_.Presenter().ShowCaption(LinkName(config_.Link(), config_.PortNumber()),
                                    config_.PortSettings());
  if (prompter_.OkCancel(title, message) == Prompter::Choice::Cancel) return false;
  SetComDialog::ExecModal(port_, config_, exchange_.Presenter(), engine_, &window_, adapters_,
                          &network_);
  return true;
}

ByteLink& Tool::ConfiguredLink() {
  if (config_.Link().OnNetwork()) return network_;
  return port_;
}

// The period as the configuration has it now (the settings dialog may change it while polling):
// the timer that ticks the exchange, and the pace of the window.
void Tool::ApplyPollPeriod() {
  const std::chrono::milliseconds period = config_.PollPeriod();
  if (period == engine_.PollPeriod()) return;
  engine_.SetPollPeriod(period);
  const bool continuous = engine_.Continuous();
  paced_.SetPaced(period < kWindowRefresh);
  if (paced_.Paced()) {
    refreshTimer_.start();
  } else {
    refreshTimer_.stop();
  }
  const bool running = Timer1_.isActive() || timerFiring_;
  Timer1_.setSingleShot(continuous);
  Timer1_.setTimerType(period == ModbusEngine::kTick ? Qt::CoarseTimer : Qt::PreciseTimer);
  Timer1_.setInterval(period);
  if (running) Timer1_.start();
}

void Tool::OnTimer1() {
  timerFiring_ = true;  // a single shot that fired is no longer active, yet the exchange runs
  Timer1_Tick();
  timerFiring_ = false;
  if (engine_.Continuous()) ArmWake();
}

// Polling continuously, bytes that arrive may complete the answer awaited. Not while the
// exchange is stopped (a search has the port: they may complete its probe's answer), nor within
// a tick (reading the port may tell of bytes).
void Tool::OnArrival() {
  if (searchWindow_ && searchWindow_->Searching()) {
    searchWindow_->OnArrival();
    return;
  }
  if (!engine_.Continuous() || !Timer1_.isActive() || ticking_) return;
  Timer1_Tick();
  if (engine_.Continuous()) ArmWake();  // the tick may have brought a period of its own
}

// The single shot at the moment the exchange names, a tick from now at the latest.
void Tool::ArmWake() {
  using std::chrono::milliseconds;
  const auto wait = engine_.NextWake() - std::chrono::steady_clock::now();
  const milliseconds ms = std::clamp(std::chrono::ceil<milliseconds>(wait), milliseconds(0),
                                     ModbusEngine::kTick);
  Timer1_.start(ms);
}

void Tool::Timer1_Tick() {
  ticking_ = true;
  // The period, the link, the address chosen in cmb_slad, the echo box and the response timeout
  // as the settings dialog's OK last left them: the frames of this tick go out with them.
  ApplyPollPeriod();
  engine_.SetLink(ConfiguredLink());
  engine_.SetSlaveAddress(window_.SlaveAddress());
  engine_.SetEchoExpected(config_.Echo());
  engine_.SetResponseTimeout(config_.ResponseTimeout());
  const auto outcome =
      exchange_.Tick(LinkName(config_.Link(), config_.PortNumber()), config_.PortSettings());
  paramFiles_.OnTick(outcome);
  if (checkoutWindow_) checkoutWindow_->OnTick(outcome);
  if (!checkoutWindow_ || !checkoutWindow_->Active()) outputsRefused_ = false;
  // The notes on the adapter, the exchange log, the recording, a parameter file's read and a
  // refused output command follow the exchange's words.
  exchange_.Presenter().SetNotes((engine_.EchoSeemsAbsent() ? kStatusNoEchoNote : QString()) +
                                 AnswersTooLateNote(engine_.AnswersTooLate()) +
                                 (logFailing_ ? kStatusLogFailingNote : QString()) +
                                 recording_.StatusNote() + paramFiles_.StatusNote() +
                                 (outputsRefused_ ? u' ' + kStatusCheckoutOwnsOutputs : QString()));
  ticking_ = false;
}

}  // namespace torvex
