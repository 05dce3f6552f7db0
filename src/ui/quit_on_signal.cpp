#include "ui/quit_on_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>

namespace torvex {
namespace {

constexpr std::array kSignals = {SIGTERM, SIGINT, SIGHUP};

// A signal handler may do almost nothing: it writes one byte into the pipe that the event loop
// watches. The pipe's end has to be where the handler finds it, so it is the one variable here
// outside an object; only the QuitOnSignal that set it changes it.
int signalPipe = -1;

void OnSignalHandler(int) {
  const int saved = errno;
  const char byte = 1;
  (void)::write(signalPipe, &byte, 1);
  errno = saved;
}

}  // namespace

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their defaults
  signalPipe = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignal::OnSignal);
  struct sigaction action {};
  action.sa_handler = OnSignalHandler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

QuitOnSignal::QuitOnSignal(std::function<void()> onSignal, QObject* parent) : QuitOnSignal(parent) {
  onSignal_ = std::move(onSignal);
}

QuitOnSignal::~QuitOnSignal() {
  if (pipe_[0] < 0) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
  signalPipe = -1;
  delete notifier_;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void QuitOnSignal::OnSignal() {
  char bytes[16];
  ssize_t got = 0;
  int received = 0;
  while ((got = ::read(pipe_[0], bytes, sizeof bytes)) > 0) received += static_cast<int>(got);
  requested_ = true;
  if (onSignal_) {
    for (int i = 0; i < received; ++i) onSignal_();
    return;
  }
  // The windows close as the operator would close them, so that a checkout puts the outputs
  // back first; then every running event loop ends, a modal dialog's too, and the main one
  // returns.
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::closeAllWindows();
  QCoreApplication::exit(0);
}

}  // namespace torvex
