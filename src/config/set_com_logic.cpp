#include "config/set_com_logic.h"

#include <algorithm>
#include <set>
#include <utility>

#include <QFileInfo>
#include <QRegularExpression>

#include "config/port_listing.h"
#include "platform/port_bindings.h"
#include "platform/port_path.h"

namespace torvex {
namespace {

// The exchange writes nothing while held: a port opened only to see whether it opens must not
// receive a request frame.
class SendingHold {
 public:
  explicit SendingHold(const std::function<void(bool)>& hold) : hold_(hold) {
    if (hold_) hold_(true);
  }
  ~SendingHold() {
    if (hold_) hold_(false);
  }
  SendingHold(const SendingHold&) = delete;
  SendingHold& operator=(const SendingHold&) = delete;

 private:
  const std::function<void(bool)>& hold_;
};

// A step on the port whose failure needs nothing more here: a port that does not open shows as
// "no answer" in the exchange until another is chosen.
template <typename Operation>
void TryAndGoOn(Operation&& operation) {
  static_cast<void>(TryPort(std::forward<Operation>(operation)));
}

LinkFields FieldsOf(const LinkChoice& link, std::optional<std::chrono::milliseconds> timeout) {
  return {link.kind, link.host, QString::number(link.tcpPort),
          timeout ? QString::number(timeout->count()) : QString()};
}

// Empty: automatic; else a whole number of milliseconds the configuration takes.
std::optional<std::optional<std::chrono::milliseconds>> TimeoutFrom(const QString& text) {
  if (text.trimmed().isEmpty()) return std::optional<std::chrono::milliseconds>();
  bool ok = false;
  const int ms = text.trimmed().toInt(&ok);
  if (!ok || ms < 1 || ms > Configuration::kMaxResponseTimeout.count()) return std::nullopt;
  return std::optional<std::chrono::milliseconds>(ms);
}

}  // namespace

QString FormatPollPeriod(std::chrono::milliseconds period) {
  if (period.count() == 0) return kContinuousPollText;
  return QString::number(period.count()) + QStringLiteral(" мс");
}

std::optional<std::chrono::milliseconds> ParsePollPeriod(const QString& text) {
  const QString entry = text.trimmed();
  if (entry.compare(kContinuousPollText, Qt::CaseInsensitive) == 0) {
    return std::chrono::milliseconds(0);
  }
  static const QRegularExpression number(QStringLiteral("^([0-9]+)\\s*(?:мс)?$"),
                                         QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = number.match(entry);
  if (!match.hasMatch()) return std::nullopt;
  bool ok = false;
  const int ms = match.captured(1).toInt(&ok);
  // Continuous polling is chosen by its word; a typed 0 is refused with the other numbers.
  if (!ok || ms < Configuration::kMinPollPeriod.count() ||
      ms > Configuration::kMaxPollPeriod.count()) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(ms);
}

SetComLogic::SetComLogic(SerialPort& port, Configuration& config, StatusLine& status,
                         SetComView& dialog, std::function<void(bool)> holdSending,
                         AdapterSource* adapters, TcpLink* network)
    : port_(port),
      config_(config),
      status_(status),
      dialog_(dialog),
      holdSending_(std::move(holdSending)),
      adapters_(adapters),
      network_(network) {}

void SetComLogic::Load() {
  loading_ = true;
  savedPort_ = config_.PortNumber();
  savedSettings_ = config_.PortSettings();
  savedEcho_ = config_.Echo();
  savedLink_ = config_.Link();
  savedTimeout_ = config_.ResponseTimeout();
  dialog_.SetSettingsText(config_.PortSettings());
  dialog_.SetEchoChecked(config_.Echo());
  dialog_.SetLink(FieldsOf(config_.Link(), config_.ResponseTimeout()));
  dialog_.SetPollPeriodEntry(FormatPollPeriod(config_.PollPeriod()));
  dialog_.ShowLinkFault(QString());
  const bool working = port_.IsOpen();
  if (working) port_.Close();
  GiveScanMode();
  Scan(working ? config_.PortNumber() : 0);
  SelectAndReopen(config_.PortNumber());
  loading_ = false;
}

void SetComLogic::BindingsChanged() {
  const int chosen = dialog_.SelectedPortEntry();
  const int live = chosen >= 0 && chosen < static_cast<int>(listedPorts_.size())
                       ? listedPorts_[static_cast<std::size_t>(chosen)]
                       : config_.PortNumber();
  loading_ = true;
  const bool working = port_.IsOpen();
  if (working) port_.Close();
  Scan(working ? live : 0);
  SelectAndReopen(live);
  loading_ = false;
}

QString SetComLogic::SettingsDir() const { return QFileInfo(config_.IniPath()).absolutePath(); }

// The ports that open now, each with the device behind it; when none opens, why. The built-in
// range COM1-COM16 is scanned, and every number bound in ports/ (any of COM1-COM255) and the
// port in use, so that whatever can be bound or is working can be chosen again.
void SetComLogic::Scan(int workingPort) {
  const PortBindings bindings(SettingsDir());
  const std::vector<SerialAdapter> adapters =
      adapters_ ? adapters_->Adapters() : std::vector<SerialAdapter>{};
  std::set<int> numbers;
  for (int number = kFirstListedPort; number <= kLastListedPort; ++number) numbers.insert(number);
  for (const PortBinding& binding : bindings.List()) numbers.insert(binding.number);
  if (IsValidPortNumber(workingPort)) numbers.insert(workingPort);
  std::vector<PortFailure> failures;
  listedPorts_.clear();
  dialog_.ClearPortEntries();
  const SendingHold hold(holdSending_);
  for (const int number : numbers) {
    const auto opened = TryPort([&] {
      port_.SetCommPort(number);
      port_.Open();
    });
    if (!opened) failures.emplace_back(number, opened.Why().fault());
    dialog_.YieldToEventLoop();  // keep the window and the exchange ticks alive
    if (opened) {
      port_.Close();
      const QString entry = PortDevicePath(SettingsDir(), number).value_or(QString());
      const QString device = QFileInfo(entry).canonicalFilePath();
      const std::optional<PortBinding> bound = bindings.Find(number);
      listedPorts_.push_back(number);
      dialog_.AddPortEntry(PortEntryText(number, device.isEmpty() ? entry : device,
                                         bound ? bound->target : QString(), adapters));
    }
  }
  dialog_.ShowNoPorts(listedPorts_.empty() ? NoPortsText(failures, bindings) : QString());
}

// Selects the entry of `number` (none when it is not listed: the box shows its placeholder) and
// opens that port again.
void SetComLogic::SelectAndReopen(int number) {
  const auto listed = std::find(listedPorts_.begin(), listedPorts_.end(), number);
  dialog_.SelectPortEntry(listed == listedPorts_.end()
                              ? -1
                              : static_cast<int>(listed - listedPorts_.begin()));
  if (config_.Link().OnNetwork()) return;  // the exchange runs over the network meanwhile
  TryAndGoOn([&] {
    port_.SetCommPort(number);
    port_.Open();  // not when the number was refused: that would open the last scanned port
  });
}

// A port opens only with a mode. At the first start the file holds an empty mode string, which
// the port refuses, and every port would be left out of the list; the scan then opens them in
// the mode a file without "COMSettings" stands for.
void SetComLogic::GiveScanMode() {
  if (!TryPort([&] { port_.SetSettings(config_.PortSettings()); })) {
    TryAndGoOn([&] { port_.SetSettings(kDefaultPortSettings); });
  }
}

void SetComLogic::cmbCOMList_Click(int index) {
  if (index < 0 || index >= static_cast<int>(listedPorts_.size())) return;
  if (config_.Link().OnNetwork()) return;  // the port is taken at OK, with the link
  // Each step is tried even if the one before failed; a port that does not open shows as
  // "no answer" in the exchange until another is chosen.
  if (port_.IsOpen()) port_.Close();
  TryAndGoOn([&] { port_.SetCommPort(listedPorts_[static_cast<std::size_t>(index)]); });
  TryAndGoOn([&] { port_.Open(); });
}

bool SetComLogic::OK_Click() {
  config_.SetSettingsAccepted(true);
  const int chosen = dialog_.SelectedPortEntry();
  if (chosen >= 0 && chosen < static_cast<int>(listedPorts_.size())) {
    // With nothing chosen the current port stays.
    config_.SetPortNumber(static_cast<std::uint8_t>(listedPorts_[static_cast<std::size_t>(chosen)]));
  }
  config_.SetPortSettings(dialog_.SettingsText());
  config_.SetEcho(dialog_.EchoChecked());
  if (!TryPort([&] { port_.SetSettings(config_.PortSettings()); })) {
    dialog_.SetSettingsColor(kRed);
    return false;
  }
  const LinkFields fields = dialog_.Link();
  const auto timeout = TimeoutFrom(fields.responseTimeout);
  if (!timeout) {
    dialog_.ShowLinkFault(kBadTimeoutText);
    return false;
  }
  const std::optional<std::chrono::milliseconds> pollPeriod =
      ParsePollPeriod(dialog_.PollPeriodEntry());
  if (!pollPeriod) {
    dialog_.ShowLinkFault(kBadPollPeriodText);
    return false;
  }
  config_.SetResponseTimeout(*timeout);
  if (fields.kind == LinkKind::kSerial || !network_) {
    LinkChoice serial = config_.Link();  // the server's address is kept for the next time
    serial.kind = LinkKind::kSerial;
    config_.SetLink(serial);
    if (network_) network_->Close();
  } else if (!ConnectChosen(fields)) {
    return false;
  }
  dialog_.ShowLinkFault(QString());
  // Taken only with the save: a refused OK leaves the period in use, and a run's period with it.
  config_.SetPollPeriod(*pollPeriod);
  config_.SaveConfig();
  return true;
}

bool SetComLogic::ConnectChosen(const LinkFields& fields) {
  const QString host = fields.host.trimmed();
  if (host.isEmpty()) {
    dialog_.ShowLinkFault(kNoHostText);
    return false;
  }
  const std::optional<std::uint16_t> tcpPort = TcpPortFrom(fields.tcpPort);
  if (!tcpPort) {
    dialog_.ShowLinkFault(kBadTcpPortText);
    return false;
  }
  const LinkChoice chosen{fields.kind, host, *tcpPort};
  if (port_.IsOpen()) port_.Close();  // let another program have the serial port
  loading_ = true;                    // the wait runs the event loop: no closing meanwhile
  network_->Connect(chosen.Target());
  const BasicResult<NetworkFault> connected = network_->WaitConnected();
  loading_ = false;
  if (!connected) {
    dialog_.ShowLinkFault(NetworkFaultText(chosen.Target(), connected.Why()));
    return false;
  }
  config_.SetLink(chosen);
  return true;
}

void SetComLogic::Cancel_Click() { config_.SetSettingsAccepted(false); }

void SetComLogic::Unload() {
  if (port_.IsOpen()) port_.Close();
  if (!config_.SettingsAccepted()) {
    config_.SetPortNumber(savedPort_);
    config_.SetPortSettings(savedSettings_);
    config_.SetEcho(savedEcho_);
    config_.SetLink(savedLink_);
    config_.SetResponseTimeout(savedTimeout_);
  }
  OpenConfiguredLink();
}

void SetComLogic::OpenConfiguredLink() {
  if (network_ && config_.Link().OnNetwork()) {
    const NetworkTarget target = config_.Link().Target();
    if (!network_->Wanted() || !(network_->Target() == target)) network_->Connect(target);
    return;
  }
  if (network_) network_->Close();
  ReopenPort();
}

void SetComLogic::ReopenPort() {
  if (port_.IsOpen()) return;
  // A failed step reports, reloads the saved configuration and goes on with the next step,
  // which then works with the reloaded values.
  bool failed = false;
  const auto step = [&](auto&& action) {
    if (TryPort(action)) return;
    failed = true;
    status_.ShowMessage(kStatusNoPort);
    config_.LoadConfig();
  };
  step([&] { port_.SetSettings(config_.PortSettings()); });
  step([&] { port_.SetCommPort(config_.PortNumber()); });
  step([&] { port_.Open(); });
  // LoadConfig ends by clearing the status line; the report is what the operator must see.
  if (failed) status_.ShowMessage(kStatusNoPort);
}

}  // namespace torvex
