#include "config/set_com_logic.h"

namespace torvex {
namespace {

QString PortEntry(int number) { return QStringLiteral("COM") + QString::number(number); }

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

}  // namespace

SetComLogic::SetComLogic(SerialPort& port, Configuration& config, MainView& mainView,
                         SetComView& dialog, std::function<void(bool)> holdSending)
    : port_(port),
      config_(config),
      mainView_(mainView),
      dialog_(dialog),
      holdSending_(std::move(holdSending)) {}

void SetComLogic::Load() {
  loading_ = true;
  savedPort_ = config_.PortNumber();
  savedSettings_ = config_.PortSettings();
  dialog_.SetSettingsText(config_.PortSettings());
  if (port_.IsOpen()) port_.Close();
  GiveScanMode();
  {
    const SendingHold hold(holdSending_);
    for (int number = kFirstListedPort; number <= kLastListedPort; ++number) {
      bool scanOk = true;
      try {
        port_.SetCommPort(number);
        port_.Open();
      } catch (const PortError&) {
        scanOk = false;
      }
      dialog_.YieldToEventLoop();  // keep the window and the exchange ticks alive
      if (scanOk) {
        port_.Close();
        listedPorts_.push_back(number);
        dialog_.AddPortEntry(PortEntry(number));
      }
    }
  }
  // Not listed: no selection, and the box shows its placeholder.
  int current = -1;
  for (std::size_t i = 0; i < listedPorts_.size(); ++i) {
    if (listedPorts_[i] == config_.PortNumber()) current = static_cast<int>(i);
  }
  dialog_.SelectPortEntry(current);
  try {
    port_.SetCommPort(config_.PortNumber());
    port_.Open();  // not when the number was refused: that would open the last scanned port
  } catch (const PortError&) {
  }
  loading_ = false;
}

// A port opens only with a mode. At the first start the file holds an empty mode string, which
// the port refuses, and every port would be left out of the list; the scan then opens them in
// the mode a file without "COMSettings" stands for.
void SetComLogic::GiveScanMode() {
  try {
    port_.SetSettings(config_.PortSettings());
  } catch (const PortError&) {
    try {
      port_.SetSettings(kDefaultPortSettings);
    } catch (const PortError&) {
    }
  }
}

void SetComLogic::cmbCOMList_Click(int index) {
  if (index < 0 || index >= static_cast<int>(listedPorts_.size())) return;
  // Each step is tried even if the one before failed; a port that does not open shows as
  // "no answer" in the exchange until another is chosen.
  if (port_.IsOpen()) port_.Close();
  try {
    port_.SetCommPort(listedPorts_[static_cast<std::size_t>(index)]);
  } catch (const PortError&) {
  }
  try {
    port_.Open();
  } catch (const PortError&) {
  }
}

bool SetComLogic::OK_Click() {
  config_.SetSettingsAccepted(true);
  const int chosen = dialog_.SelectedPortEntry();
  if (chosen >= 0 && chosen < static_cast<int>(listedPorts_.size())) {
    // With nothing chosen the current port stays.
    config_.SetPortNumber(static_cast<std::uint8_t>(listedPorts_[static_cast<std::size_t>(chosen)]));
  }
  config_.SetPortSettings(dialog_.SettingsText());
  try {
    port_.SetSettings(config_.PortSettings());
  } catch (const PortError&) {
    dialog_.SetSettingsColor(kRed);
    return false;
  }
  config_.SaveConfig();
  return true;
}

void SetComLogic::Cancel_Click() { config_.SetSettingsAccepted(false); }

void SetComLogic::Unload() {
  if (port_.IsOpen()) port_.Close();
  if (!config_.SettingsAccepted()) {
    config_.SetPortNumber(savedPort_);
    config_.SetPortSettings(savedSettings_);
  }
  ReopenPort();
}

void SetComLogic::ReopenPort() {
  if (port_.IsOpen()) return;
  // A failed step reports, reloads the saved configuration and goes on with the next step,
  // which then works with the reloaded values.
  bool failed = false;
  const auto step = [&](auto&& action) {
    try {
      action();
    } catch (const PortError&) {
      failed = true;
      mainView_.SetText({Control::lbl_sys_mes}, kStatusNoPort);
      config_.LoadConfig();
    }
  };
  step([&] { port_.SetSettings(config_.PortSettings()); });
  step([&] { port_.SetCommPort(config_.PortNumber()); });
  step([&] { port_.Open(); });
  // LoadConfig ends by clearing the status line; the report is what the operator must see.
  if (failed) mainView_.SetText({Control::lbl_sys_mes}, kStatusNoPort);
}

}  // namespace torvex
