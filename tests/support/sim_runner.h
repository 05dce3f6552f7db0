#pragma once
// Runs the torvex-sim program for an end-to-end test: on a pseudo-terminal linked as
// ports/com<N> in a test's program directory, so the tool under test opens it as COM<N>.
#include <filesystem>

#include <QProcess>
#include <QStringList>

namespace torvex::test {

class SimRunner {
 public:
  SimRunner(const std::filesystem::path& link, QStringList options = {})
      : link_(link), options_(std::move(options)) {
    Start();
  }
  ~SimRunner() { Stop(); }
  SimRunner(const SimRunner&) = delete;
  SimRunner& operator=(const SimRunner&) = delete;

  // Starts the simulator (again, after Stop or Kill) and waits until its link is in place:
  // it prints its banner only then, so a link left dangling by a killed run is not taken for
  // the new one.
  void Start() {
    if (process_.isOpen()) process_.readAllStandardError();  // an earlier run's trace
    trace_.clear();
    process_.start(QStringLiteral(TORVEX_SIM_PROGRAM),
                   QStringList{"--link", QString::fromStdString(link_.string()), "--frozen",
                               "--seed", "1"} +
                       options_);
    process_.waitForStarted();
    for (int i = 0; i < 60 && !process_.canReadLine(); ++i) process_.waitForReadyRead(50);
    banner_ = QString::fromUtf8(process_.readLine()).trimmed();
  }
  // Ends it as an operator's Ctrl+C would: it removes its link. Returns its summary line.
  QString Stop() {
    if (process_.state() == QProcess::NotRunning) return {};
    process_.terminate();
    process_.waitForFinished(3000);
    return QString::fromUtf8(process_.readAllStandardOutput()).trimmed();
  }
  // Ends it at once, as a crash or a pulled plug would: its link stays, pointing nowhere.
  void Kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(3000);
  }
  bool Running() const { return process_.state() == QProcess::Running; }
  const QString& Banner() const { return banner_; }
  // What the current (or last) run has written on standard error so far: with --trace, every
  // frame in hex. It comes in while the event loop runs.
  const QString& Trace() {
    trace_ += QString::fromUtf8(process_.readAllStandardError());
    return trace_;
  }

 private:
  std::filesystem::path link_;
  QStringList options_;
  QProcess process_;
  QString banner_;
  QString trace_;
};

}  // namespace torvex::test
