#include "ui/console_params.h"

#include <functional>

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include "config/configuration.h"
#include "engine/modbus_engine.h"
#include "monitor/frame_meaning.h"
#include "paramfile/param_layout.h"
#include "paramset/set_exchange.h"
#include "paramset/set_file.h"
#include "platform/qt_serial_port.h"
#include "platform/tcp_link.h"
#include "ui/console_link.h"
#include "ui/no_window.h"
#include "ui/param_set_texts.h"
#include "ui/quit_on_signal.h"

namespace torvex {
namespace {

void Say(std::FILE* to, const QString& text) {
  std::fprintf(to, "torvex-tp: %s\n", qUtf8Printable(text));
}

void PrintLines(std::FILE* to, const QStringList& lines) {
  for (const QString& line : lines) std::fprintf(to, "%s\n", qUtf8Printable(line));
  std::fflush(to);
}

// What an interrupted write leaves in the controller, as far as its answers tell.
QString InterruptedWriteText(const paramset::SetExchange& run) {
  if (run.WritesDone()) {
    return QStringLiteral("проверка записи прервана: запись подтверждена для %1 из 49 параметров, "
                          "чтение для сравнения не закончено")
        .arg(run.ParamsConfirmed());
  }
  QString text = QStringLiteral("запись прервана: подтверждена для %1 из 49 параметров").arg(run.ParamsConfirmed());
  if (const auto sent = run.Unanswered()) {
    text += QStringLiteral("; параметры «%1» - «%2» отправлены, но ответа нет: контроллер мог их записать")
                .arg(QString::fromStdString(paramfile::Caption(sent->first)), QString::fromStdString(paramfile::Caption(sent->last)));
  }
  return text + QStringLiteral("; остальные не записывались");
}

// The exchange on the tool's tick, carried on until the run ends. A signal interrupts it: the
// first once a write in flight is answered, a second at once.
void RunExchange(paramset::SetExchange& run, ByteLink& link, const Configuration& config,
                 std::function<void()>& onSignal, std::FILE* err) {
  ModbusEngine engine(link);
  engine.SetEchoExpected(config.Echo());
  engine.SetResponseTimeout(config.ResponseTimeout());
  engine.SetDecoder([&run](const RxAnswer& answer) { run.OnAnswer(answer); });
  QEventLoop loop;
  QTimer tick;
  tick.setInterval(ModbusEngine::kTick);
  const QString mode = config.PortSettings();
  bool toldLate = false;
  auto onTick = [&] {
    engine.SetSlaveAddress(run.SlaveAddress());
    run.OnTick(engine.Tick(mode));
    if (const auto late = engine.AnswersTooLate(); late && !toldLate) {
      toldLate = true;
      Say(err, AnswersTooLateText(static_cast<int>(late->count())));
    }
    if (!run.Running()) loop.quit();
  };
  QObject::connect(&tick, &QTimer::timeout, &loop, onTick);
  onSignal = [&] {
    run.Interrupt();
    if (!run.Running()) loop.quit();
  };
  run.Start(engine);
  if (run.Running()) {
    tick.start();
    onTick();  // the first request leaves now, not a tick later
    if (run.Running()) loop.exec();
  }
  onSignal = nullptr;
}

int Finish(const ConsoleParams& command, const paramset::SetExchange& run,
           const paramfile::ParamImage& file, std::FILE* out, std::FILE* err) {
  if (!run.Controller()) {
    if (run.Refused() && run.End() != paramset::SetEnd::kReadRefused) Say(err, RefusalText(*run.Refused()));
    Say(err, SetEndText(run));
    return kParamsFailed;
  }
  const paramfile::ParamImage& controller = *run.Controller();
  const QString named = QStringLiteral("«") + command.file + QStringLiteral("»");
  switch (command.task) {
    case ParamTask::kNone:
    case ParamTask::kRead: {
      paramfile::FileHeader header = SavedHeader(run);
      header.unitSerial = command.unitSerial.toStdString();
      if (const auto error = paramset::SaveSetFile(command.file, controller, header)) {
        Say(err, *error);
        return kParamsFailed;
      }
      Say(out, QStringLiteral("параметры контроллера (адрес %1) сохранены в %2").arg(run.ReadAt()).arg(named));
      return kParamsDone;
    }
    case ParamTask::kCompare: {
      const QStringList differences = DifferenceLines(controller, file);
      if (differences.isEmpty()) {
        PrintLines(out, {QStringLiteral("Совпадает с файлом")});
        return kParamsDone;
      }
      PrintLines(out, differences);
      return kParamsDiffer;
    }
    case ParamTask::kWrite: {
      if (run.NewAddressSilent()) Say(err, NewAddressSilentText(command.address, *run.NewAddress()));
      if (run.Refused()) Say(err, RefusalText(*run.Refused()));
      const QStringList differences = DifferenceLines(controller, file);
      if (!differences.isEmpty()) {
        Say(err, QStringLiteral("контроллер (адрес %1) держит не то, что в %2:").arg(run.ReadAt()).arg(named));
        PrintLines(err, differences);
      }
      if (run.Refused() || !differences.isEmpty()) return kParamsDiffer;
      Say(out, QStringLiteral("записаны и проверены все 49 параметров %1 (адрес %2)").arg(named).arg(run.ReadAt()));
      return kParamsDone;
    }
  }
  return kParamsFailed;
}

}  // namespace

int RunConsoleParams(const ConsoleParams& command, std::FILE* out, std::FILE* err) {
  paramfile::ParamImage file{};
  if (command.task != ParamTask::kRead) {
    const paramset::SetFile read = paramset::ReadSetFile(command.file);
    if (!read.image) {
      Say(err, read.error);
      return kParamsFailed;
    }
    file = *read.image;
  }

  // SIGINT, SIGTERM and SIGHUP end the command in order: the port is let go, and what a write
  // has done is said.
  std::function<void()> onSignal;
  int stops = 0;
  const QuitOnSignal watch([&] {
    ++stops;
    if (onSignal) onSignal();
  });
  NoWindow none(err);
  Configuration config(IniPathIn(command.settingsDir), none, none, none);
  if (command.connect) config.SetRunLink(command.connect->link, command.connect->comPort);
  config.LoadConfig();
  QtSerialPort port(command.settingsDir);
  TcpLink network;
  onSignal = [&network] { network.Close(); };  // a connection being made is given up
  ByteLink* link = OpenConsoleLink(config, port, network, err);
  onSignal = nullptr;
  QCoreApplication::processEvents();  // a signal that came meanwhile
  if (stops > 0) {
    Say(err, QStringLiteral("прервано: обмена с контроллером не было"));
    return kParamsFailed;
  }
  if (!link) return kParamsFailed;

  paramset::SetExchange run = command.task == ParamTask::kWrite
                                  ? paramset::SetExchange::Write(file, command.address)
                                  : paramset::SetExchange::Read(command.address);
  if (run.NewAddress()) Say(err, AddressChangeText(command.address, *run.NewAddress()));
  RunExchange(run, *link, config, onSignal, err);
  if (run.End() == paramset::SetEnd::kInterrupted && command.task == ParamTask::kWrite) {
    if (run.Refused()) Say(err, RefusalText(*run.Refused()));
    Say(err, InterruptedWriteText(run));
    return kParamsFailed;
  }
  if (command.task == ParamTask::kWrite && !run.Controller() && run.ParamsConfirmed() > 0) {
    Say(err, QStringLiteral("запись подтверждена для %1 из 49 параметров").arg(run.ParamsConfirmed()));
  }
  return Finish(command, run, file, out, err);
}

}  // namespace torvex
