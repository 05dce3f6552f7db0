// torvex-tp: the TORVEX-CPU Modbus test tool.
#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/qt_serial_port.h"
#include "ui/message_box_prompter.h"
#include "ui/tool.h"
#include "ui/trends_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  // Numbers follow the operator's regional settings (a decimal comma in Russian), never
  // grouped into thousands.
  QLocale locale = QLocale::system();
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  QLocale::setDefault(locale);
  // Standard buttons of the message boxes in the window's language where Qt has it.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app.installTranslator(&qtTexts);
  }

  QCommandLineParser options;
  options.setApplicationDescription(QStringLiteral("TORVEX-CPU Modbus test tool"));
  options.addHelpOption();
  const QCommandLineOption record(QStringLiteral("record"),
                                  QStringLiteral("Record the measurements into FILE (CSV)."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption trends(QStringLiteral("trends"),
                                  QStringLiteral("Open the trends window with the AIN1 sensor values."));
  options.addOptions({record, trends});
  options.process(app);

  const QString programDir = QCoreApplication::applicationDirPath();
  torvex::QtSerialPort port(programDir);
  torvex::MessageBoxPrompter prompter;
  torvex::Tool tool(programDir, port, prompter);
  if (!tool.FormLoad()) return 0;
  if (options.isSet(record)) tool.Recording().StartRecording(options.value(record));
  if (options.isSet(trends)) tool.Recording().ShowTrends().ShowAin1Sensors();
  return app.exec();
}
