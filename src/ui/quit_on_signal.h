#pragma once
// Ends the program through its event loop when the system asks it to (SIGTERM, SIGINT, SIGHUP),
// as closing the window does, so that everything is taken down in order: the serial port drops
// its exclusive claim and its lock file, and a recording or an exchange log ends whole. Killed
// without this, the claim would stay on a device that another process keeps open and the next
// start would find the port taken. A command without a window may end its run itself instead
// (a checkout puts the outputs back and writes its report first).
#include <functional>

#include <QObject>

class QSocketNotifier;

namespace torvex {

class QuitOnSignal : public QObject {
  Q_OBJECT

 public:
  // Takes over the three signals for the lifetime of this object; one instance at a time.
  explicit QuitOnSignal(QObject* parent = nullptr);
  // Calls `onSignal` for each signal in place of ending the event loops.
  explicit QuitOnSignal(std::function<void()> onSignal, QObject* parent = nullptr);
  ~QuitOnSignal() override;
  QuitOnSignal(const QuitOnSignal&) = delete;
  QuitOnSignal& operator=(const QuitOnSignal&) = delete;

  // Whether a signal came: the caller ends the program, also when it came before the main event
  // loop ran (during a start-up message box, whose loop it ends).
  bool Requested() const { return requested_; }

 private:
  void OnSignal();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
  bool requested_ = false;
  std::function<void()> onSignal_;
};

}  // namespace torvex
