#pragma once
// Runs the torvex-sim program for an end-to-end test: on a pseudo-terminal linked as
// ports/com<N> in a test's program directory, so the tool under test opens it as COM<N>.
#include <chrono>
#include <filesystem>
#include <thread>

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

  // Starts the simulator and waits until its link is in place.
  void Start() {
    process_.start(QStringLiteral(TORVEX_SIM_PROGRAM),
                   QStringList{"--link", QString::fromStdString(link_.string()), "--frozen",
                               "--seed", "1"} +
                       options_);
    process_.waitForStarted();
    for (int i = 0; i < 100 && !std::filesystem::is_symlink(link_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  // Ends it as an operator's Ctrl+C would; returns its summary line.
  QString Stop() {
    if (process_.state() == QProcess::NotRunning) return {};
    process_.terminate();
    process_.waitForFinished(3000);
    return QString::fromUtf8(process_.readAllStandardOutput()).trimmed();
  }
  bool Running() const { return process_.state() == QProcess::Running; }

 private:
  std::filesystem::path link_;
  QStringList options_;
  QProcess process_;
};

}  // namespace torvex::test
