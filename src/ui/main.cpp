// torvex-tp: the TORVEX-CPU Modbus test tool.
#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "config/settings_folder.h"
#include "platform/qt_serial_port.h"
#include "platform/writable_folder.h"
#include "ui/command_line.h"
#include "ui/console_checkout.h"
#include "ui/console_params.h"
#include "ui/console_scan.h"
#include "ui/message_box_prompter.h"
#include "ui/quit_on_signal.h"
#include "ui/tool.h"
#include "ui/trends_window.h"

namespace {

// Numbers follow the operator's regional settings (a decimal comma in Russian), never grouped
// into thousands.
void UseRegionalNumbers() {
  QLocale locale = QLocale::system();
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  QLocale::setDefault(locale);
}

}  // namespace

int main(int argc, char** argv) {
  // The command line first: --help and --version need no display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const torvex::CommandLine options = torvex::ParseCommandLine(arguments);
  if (!options.error.isEmpty()) {
    std::fprintf(stderr, "torvex-tp: %s\n%s", qUtf8Printable(options.error),
                 qUtf8Printable(options.helpText));
    return 2;
  }
  if (options.help) {
    std::fputs(qUtf8Printable(options.helpText), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("torvex-tp %s\n", qUtf8Printable(torvex::ToolVersion()));
    return 0;
  }

  // "тп.ini" and ports/ live together: beside the program, in the user's folder, or in the
  // folder of --config. Asked once the application exists: it knows the program's folder.
  const auto settingsFolder = [&options] {
    const QString dir = torvex::SettingsFolder(
        {.configOption = options.configDir,
         .programDir = QCoreApplication::applicationDirPath(),
         .xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME"),
         .home = QDir::homePath()},
        torvex::IsWritableFolder);
    QDir().mkpath(dir);  // a failure shows when the file is written
    return dir;
  };
  if (!options.checkoutPlan.isEmpty()) {
    // The report's fonts need a GUI application; there is no window to show.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    UseRegionalNumbers();
    return torvex::RunConsoleCheckout({options.checkoutPlan, options.checkoutReport, options.operatorName,
                                       options.unitSerial, settingsFolder(), options.connect, options.address});
  }
  if (options.paramTask != torvex::ParamTask::kNone) {
    QCoreApplication app(argc, argv);
    UseRegionalNumbers();
    return torvex::RunConsoleParams({options.paramTask, options.paramFile, settingsFolder(),
                                     options.connect, options.address, options.unitSerial});
  }
  if (options.scan) {
    QCoreApplication app(argc, argv);
    return torvex::RunConsoleScan(
        {settingsFolder(), options.scanPorts, options.connect, options.scanAll,
         options.scanFirstAddress, options.scanLastAddress, options.scanWaitMs,
         options.exchangeLog});
  }

  QApplication app(argc, argv);
  const torvex::QuitOnSignal quit;  // SIGTERM, SIGINT, SIGHUP end the run as closing the window does

  UseRegionalNumbers();
  // Standard buttons of the message boxes in the window's language where Qt has it.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app.installTranslator(&qtTexts);
  }

  const QString settingsDir = settingsFolder();

  torvex::QtSerialPort port(settingsDir);
  torvex::MessageBoxPrompter prompter;
  torvex::Tool tool(settingsDir, port, prompter);
  if (!options.exchangeLog.isEmpty()) tool.OpenExchangeLog(options.exchangeLog);
  if (options.connect) tool.Config().SetRunLink(options.connect->link, options.connect->comPort);
  if (options.pollPeriodMs) {
    tool.Config().SetRunPollPeriod(std::chrono::milliseconds(*options.pollPeriodMs));
  }
  if (!tool.FormLoad() || quit.Requested()) return 0;
  // An unattended run never replaces a recording: an existing file is kept.
  if (!options.record.isEmpty()) {
    tool.RecordingMenu().StartRecording(options.record, torvex::record::ExistingFile::kKeep);
  }
  if (options.trends) tool.RecordingMenu().ShowTrends().ShowAin1Sensors();
  if (options.monitor) tool.ShowMonitor();
  return app.exec();
}
