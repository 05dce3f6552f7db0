#include "ui/command_line.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <utility>

#include "checkout/report.h"
#include "config/configuration.h"
#include "search/probe.h"

namespace torvex {

QString ToolVersion() { return QStringLiteral(TORVEX_VERSION); }

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "TORVEX-CPU Modbus test tool. The port and its mode come from \"тп.ini\", which lives "
      "with the ports/comN links that bind COMn to a device: beside the program when its "
      "folder is writable, otherwise in $XDG_CONFIG_HOME/torvex-tp (by default "
      "~/.config/torvex-tp), or in the folder of --config."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show the options and exit."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Show the version and exit."));
  const QCommandLineOption log(
      QStringLiteral("exchange-log"),
      QStringLiteral("Append every frame on the line to FILE, one line each: local time, TX or "
                     "RX, the bytes in hex, the outcome, the meaning, separated by TABs."),
      QStringLiteral("FILE"));
  const QCommandLineOption monitor(
      QStringLiteral("monitor"),
      QStringLiteral("Open the exchange monitor (\"Монитор обмена\") beside the window at start."));
  const QCommandLineOption record(QStringLiteral("record"),
                                  QStringLiteral("Record the measurements into FILE (CSV, for a spreadsheet) "
                                                 "from the first answer until the tool is closed or "
                                                 "the recording is stopped. An existing FILE is kept: "
                                                 "the recording then goes into FILE-2.csv (or the next "
                                                 "free number), as standard error says."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption trends(QStringLiteral("trends"),
                                  QStringLiteral("Open the trends window with the AIN1 sensor values."));
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(log);
  parser.addOption(monitor);
  parser.addOption(record);
  parser.addOption(trends);
  const QCommandLineOption config(
      QStringLiteral("config"),
      QStringLiteral("Keep \"тп.ini\" and ports/ in DIR (created if missing)."),
      QStringLiteral("DIR"));
  parser.addOption(config);
  const QCommandLineOption connectTo(
      QStringLiteral("connect"),
      QStringLiteral("Use LINK for this run instead of the one in \"тп.ini\", which stays as it "
                     "is: modbus-tcp://HOST[:PORT] (a Modbus TCP gateway, port 502 by default), "
                     "rtu-over-tcp://HOST[:PORT] (a serial device server that carries the RTU "
                     "bytes unchanged, port 4001 by default), or COMn."),
      QStringLiteral("LINK"));
  parser.addOption(connectTo);
  const QCommandLineOption pollPeriod(
      QStringLiteral("poll-period"),
      QStringLiteral("Poll the controller with one request every MS milliseconds (10-1000) for "
                     "this run of the window, instead of the period in \"тп.ini\" (100 by "
                     "default), which stays as it is. 0 polls continuously, as fast as the line "
                     "allows."),
      QStringLiteral("MS"));
  parser.addOption(pollPeriod);
  const QCommandLineOption scan(
      QStringLiteral("scan"),
      QStringLiteral("Search for the controller without a window: every speed, framing and "
                     "address on the configured port (or the ports of --scan-ports, or the link "
                     "of --connect), the usual settings first. Prints each find as it comes, one "
                     "line of TAB-separated fields: the link, the mode, the address, the software "
                     "version, the protocol version (- for a device that is not a TORVEX-CPU); "
                     "progress, and at the end one line with what was found or why nothing could "
                     "be searched, go to standard error. Exit status 0 when a TORVEX-CPU was found, "
                     "1 when none, 2 when no port could be opened or the network link was lost."));
  const QCommandLineOption scanAll(QStringLiteral("scan-all"),
                                   QStringLiteral("With --scan, go on after the first TORVEX-CPU "
                                                  "(a line with several controllers)."));
  const QCommandLineOption scanPorts(
      QStringLiteral("scan-ports"),
      QStringLiteral("With --scan, search the COM ports LIST (numbers separated by commas, "
                     "e.g. 1,3)."),
      QStringLiteral("LIST"));
  const QCommandLineOption scanAddresses(
      QStringLiteral("scan-addresses"),
      QStringLiteral("With --scan, search the addresses FIRST-LAST (by default 1-127, and over "
                     "Modbus TCP the unit identifiers 1-247 and 255)."),
      QStringLiteral("FIRST-LAST"));
  const QCommandLineOption scanWait(
      QStringLiteral("scan-wait"),
      QStringLiteral("With --scan, wait MS milliseconds (10-5000) for each answer beyond the time "
                     "its bytes take on the line, as the search window's extra wait: 50 by "
                     "default, and 1000 over Modbus TCP, where a gateway answers only once its "
                     "own serial timeout is over. Raise it for a slow controller or a gateway "
                     "with a longer timeout."),
      QStringLiteral("MS"));
  parser.addOption(scan);
  parser.addOption(scanAll);
  parser.addOption(scanPorts);
  parser.addOption(scanAddresses);
  parser.addOption(scanWait);
  const QCommandLineOption readParams(
      QStringLiteral("read-params"),
      QStringLiteral("Without a window: read the controller's 49 parameters and save them in "
                     "FILE (the parameter file of the window's menu \"Параметры\", in which "
                     "torvex-sim keeps its EEPROM too). Exit status 0 when saved, 2 when the controller cannot be "
                     "reached or FILE cannot be written."),
      QStringLiteral("FILE"));
  const QCommandLineOption writeParams(
      QStringLiteral("write-params"),
      QStringLiteral("Without a window: write every parameter of FILE to the controller (the "
                     "slave address last), read them all back and compare. Exit status 0 only "
                     "when the controller holds exactly FILE; 1 when it does not or refused a "
                     "write, each difference on standard error; 2 when it cannot be reached or "
                     "FILE is refused."),
      QStringLiteral("FILE"));
  const QCommandLineOption compareParams(
      QStringLiteral("compare-params"),
      QStringLiteral("Without a window: read the controller's parameters and compare them with "
                     "FILE, each difference on standard output. Exit status 0 when equal, 1 when "
                     "not, 2 when the controller cannot be reached or FILE is refused."),
      QStringLiteral("FILE"));
  const QCommandLineOption address(
      QStringLiteral("address"),
      QStringLiteral("With --read-params, --write-params, --compare-params or --checkout: the "
                     "controller's slave address N, 1-247 (default 7)."),
      QStringLiteral("N"));
  const QCommandLineOption checkout(
      QStringLiteral("checkout"),
      QStringLiteral("Without a window: run the bench checkout PLAN (a plan file, or \"standard\" "
                     "for the plan of the standard loop-back bench that ships with the tool) and "
                     "write the report of --report. Prints the verdict and each failed step. Exit "
                     "status 0 when every step passed, 1 when any failed, 2 when the checkout "
                     "could not be carried out (the plan refused, no link, the link lost, stopped "
                     "by a signal) or its report could not be written; the report is written in "
                     "every case."),
      QStringLiteral("PLAN"));
  const QCommandLineOption report(
      QStringLiteral("report"),
      QStringLiteral("With --checkout: the report FILE (PDF), and its table beside it with "
                     "\".csv\" in place of \".pdf\"."),
      QStringLiteral("FILE"));
  const QCommandLineOption operatorName(
      QStringLiteral("operator"),
      QStringLiteral("With --checkout: the operator's NAME for the report."),
      QStringLiteral("NAME"));
  const QCommandLineOption unitSerial(
      QStringLiteral("unit-serial"),
      QStringLiteral("With --checkout or --read-params: the unit's serial number SN (up to 64 "
                     "characters), named in the report and its table, or in the parameter file's "
                     "header."),
      QStringLiteral("SN"));
  parser.addOption(readParams);
  parser.addOption(writeParams);
  parser.addOption(compareParams);
  parser.addOption(address);
  parser.addOption(checkout);
  parser.addOption(report);
  parser.addOption(operatorName);
  parser.addOption(unitSerial);

  CommandLine result;
  // Without an application object Qt cannot know the program's name.
  result.helpText = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("torvex-tp"));
  if (!parser.parse(arguments)) {
    result.error = parser.errorText();
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.error = QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first();
    return result;
  }
  result.help = parser.isSet(help);
  result.version = parser.isSet(version);
  result.monitor = parser.isSet(monitor);
  result.trends = parser.isSet(trends);
  if (parser.isSet(record)) {
    result.record = parser.value(record);
    if (result.record.isEmpty()) result.error = QStringLiteral("--record needs a file name");
  }
  if (parser.isSet(log)) {
    const QString path = parser.value(log);
    if (path.isEmpty()) result.error = QStringLiteral("--exchange-log needs a file name");
    else result.exchangeLog = QFileInfo(path).absoluteFilePath();
  }
  if (parser.isSet(config)) {
    const QString dir = parser.value(config);
    if (dir.isEmpty()) result.error = QStringLiteral("--config needs a folder");
    else result.configDir = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
  }
  result.scan = parser.isSet(scan);
  result.scanAll = parser.isSet(scanAll);
  if (parser.isSet(scanPorts)) {
    for (const QString& item : parser.value(scanPorts).split(u',')) {
      bool ok = false;
      const int number = item.trimmed().toInt(&ok);
      if (!ok || number < 1 || number > 255) {
        result.error = QStringLiteral("--scan-ports: ") + parser.value(scanPorts) +
                       QStringLiteral(" is no list of COM port numbers 1-255");
        break;
      }
      result.scanPorts.push_back(number);
    }
  }
  if (parser.isSet(scanAddresses)) {
    const QStringList range = parser.value(scanAddresses).split(u'-');
    bool firstOk = false;
    bool lastOk = false;
    const int first = range.value(0).trimmed().toInt(&firstOk);
    const int last = range.value(1).trimmed().toInt(&lastOk);
    if (range.size() != 2 || !firstOk || !lastOk || first < 1 || last > 255 || first > last) {
      result.error = QStringLiteral("--scan-addresses: ") + parser.value(scanAddresses) +
                     QStringLiteral(" is no range FIRST-LAST of addresses 1-255");
    } else {
      result.scanFirstAddress = first;
      result.scanLastAddress = last;
    }
  }
  if (parser.isSet(scanWait)) {
    bool ok = false;
    const int ms = parser.value(scanWait).trimmed().toInt(&ok);
    if (!ok || ms < search::kMinReplyAllowance.count() || ms > search::kMaxReplyAllowance.count()) {
      result.error = QStringLiteral("--scan-wait: ") + parser.value(scanWait) +
                     QStringLiteral(" is no wait of 10-5000 ms");
    } else {
      result.scanWaitMs = ms;
    }
  }
  if ((result.scanAll || parser.isSet(scanPorts) || parser.isSet(scanAddresses) ||
       parser.isSet(scanWait)) &&
      !result.scan && result.error.isEmpty()) {
    result.error =
        QStringLiteral("--scan-all, --scan-ports, --scan-addresses and --scan-wait go with --scan");
  }
  int paramTasks = 0;
  for (const auto& [option, task] : {std::pair{&readParams, ParamTask::kRead},
                                     std::pair{&writeParams, ParamTask::kWrite},
                                     std::pair{&compareParams, ParamTask::kCompare}}) {
    if (!parser.isSet(*option)) continue;
    ++paramTasks;
    result.paramTask = task;
    result.paramFile = parser.value(*option);
    if (result.paramFile.isEmpty()) {
      result.error = QStringLiteral("--") + option->names().constFirst() +
                     QStringLiteral(" needs a file name");
    }
  }
  if (paramTasks > 1) {
    result.error = QStringLiteral("--read-params, --write-params and --compare-params go one at a time");
  }
  if (paramTasks > 0 && result.scan) {
    result.error = QStringLiteral("--scan and the parameter commands go one at a time");
  }
  if (parser.isSet(checkout)) {
    result.checkoutPlan = parser.value(checkout);
    result.checkoutReport = parser.value(report);
    result.operatorName = parser.value(operatorName);
    if (result.checkoutPlan.isEmpty()) result.error = QStringLiteral("--checkout needs a plan file or \"standard\"");
    else if (result.checkoutReport.isEmpty()) result.error = QStringLiteral("--checkout needs --report FILE.pdf");
    else if (paramTasks > 0 || result.scan) result.error = QStringLiteral("--checkout goes alone, without --scan or the parameter commands");
  } else if (parser.isSet(report) || parser.isSet(operatorName)) {
    result.error = QStringLiteral("--report and --operator go with --checkout");
  }
  if (parser.isSet(unitSerial)) {
    result.unitSerial = parser.value(unitSerial).trimmed();
    if (!checkout::IsUnitSerial(result.unitSerial) || result.unitSerial.isEmpty()) {
      result.error = QStringLiteral("--unit-serial: \"") + parser.value(unitSerial) +
                     QStringLiteral("\" is no serial number: 1-64 characters, no control characters");
    } else if (result.checkoutPlan.isEmpty() && result.paramTask != ParamTask::kRead) {
      result.error = QStringLiteral("--unit-serial goes with --checkout or --read-params");
    }
  }
  if (parser.isSet(address)) {
    bool ok = false;
    result.address = parser.value(address).trimmed().toInt(&ok);
    if (!ok || result.address < 1 || result.address > 247) {
      result.error = QStringLiteral("--address: ") + parser.value(address) +
                     QStringLiteral(" is no slave address 1-247");
    } else if (paramTasks == 0 && result.checkoutPlan.isEmpty()) {
      result.error = QStringLiteral(
          "--address goes with --read-params, --write-params, --compare-params or --checkout");
    }
  }
  if (parser.isSet(pollPeriod)) {
    bool ok = false;
    const int ms = parser.value(pollPeriod).trimmed().toInt(&ok);
    if (!ok || !Configuration::IsPollPeriod(std::chrono::milliseconds(ms))) {
      result.error = QStringLiteral("--poll-period: ") + parser.value(pollPeriod) +
                     QStringLiteral(" is no poll period: 0 (continuous) or 10-1000 ms");
    } else if (result.scan || paramTasks > 0 || !result.checkoutPlan.isEmpty()) {
      result.error = QStringLiteral(
          "--poll-period goes with the window, not with --scan, --read-params, --write-params, "
          "--compare-params or --checkout");
    } else {
      result.pollPeriodMs = ms;
    }
  }
  if (parser.isSet(connectTo)) {
    const ConnectParse parsed = ParseConnectArgument(parser.value(connectTo));
    if (parsed.argument) result.connect = parsed.argument;
    else result.error = parsed.error;
  }
  return result;
}

}  // namespace torvex
