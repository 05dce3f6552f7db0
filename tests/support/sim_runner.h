#pragma once
// Runs the torvex-sim program for an end-to-end test: on a pseudo-terminal linked as
// ports/com<N> in a test's program directory, so the tool under test opens it as COM<N>; or as
// a TCP server on loopback, on a free port that stays its own across restarts.
#include <filesystem>

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace torvex::test {

class SimRunner {
 public:
  SimRunner(const std::filesystem::path& link, QStringList options = {})
      : link_(link), options_(std::move(options)) {
    Start();
  }
  // A TCP server on 127.0.0.1 (RTU over TCP; Modbus TCP with "--modbus-tcp" in `options`).
  struct Tcp {};
  SimRunner(Tcp, QStringList options = {}) : tcp_(true), options_(std::move(options)) { Start(); }
  ~SimRunner() { Stop(); }
  SimRunner(const SimRunner&) = delete;
  SimRunner& operator=(const SimRunner&) = delete;

  // Starts the simulator (again, after Stop or Kill) and waits until its link is in place:
  // it prints its banner only then, so a link left dangling by a killed run is not taken for
  // the new one.
  void Start() {
    if (process_.isOpen()) process_.readAllStandardError();  // an earlier run's trace
    trace_.clear();
    const QStringList where =
        tcp_ ? QStringList{"--listen", "127.0.0.1:" + QString::number(port_)}
             : QStringList{"--link", QString::fromStdString(link_.string())};
    process_.start(QStringLiteral(TORVEX_SIM_PROGRAM),
                   where + QStringList{"--frozen", "--seed", "1"} + options_);
    process_.waitForStarted();
    for (int i = 0; i < 60 && !process_.canReadLine(); ++i) process_.waitForReadyRead(50);
    banner_ = QString::fromUtf8(process_.readLine()).trimmed();
    const auto port = QRegularExpression(QStringLiteral(" on TCP 127\\.0\\.0\\.1:(\\d+) ")).match(banner_);
    if (tcp_ && port.hasMatch()) port_ = port.captured(1).toUShort();
  }
  // The TCP port it serves (0 before a TCP server has started).
  quint16 Port() const { return port_; }
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
  bool tcp_ = false;
  quint16 port_ = 0;  // 0: a free one, at the first start
  std::filesystem::path link_;
  QStringList options_;
  QProcess process_;
  QString banner_;
  QString trace_;
};

}  // namespace torvex::test
