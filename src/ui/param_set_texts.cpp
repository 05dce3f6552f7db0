#include "ui/param_set_texts.h"

#include <QDateTime>

#include "decode/display_rules.h"
#include "decode/numeric.h"
#include "monitor/frame_meaning.h"
#include "ui/command_line.h"

namespace torvex {
namespace {

constexpr int kShownDecimals = 2;  // as the boxes show a parameter

QString Caption(int index) { return QString::fromStdString(paramfile::Caption(index)); }

}  // namespace

QString ShownParamValue(std::int32_t raw, int index) {
  if (paramfile::Spot(index).tenths) {
    return FormatReading(raw, kShownDecimals, 0.1, QString()).trimmed();
  }
  return QString::fromStdString(paramfile::ValueText(raw, index));
}

QStringList DifferenceLines(const paramfile::ParamImage& controller,
                            const paramfile::ParamImage& file) {
  QStringList lines;
  for (const int i : paramfile::Differences(controller, file)) {
    lines << Caption(i) + QStringLiteral(": контроллер ") +
                 ShownParamValue(paramfile::Raw(controller, i), i) + QStringLiteral(", файл ") +
                 ShownParamValue(paramfile::Raw(file, i), i);
  }
  return lines;
}

paramfile::FileHeader SavedHeader(const paramset::SetExchange& run) {
  paramfile::FileHeader header;
  header.savedAt = QDateTime::currentDateTime()
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                       .toStdString();
  header.writer = (QStringLiteral("torvex-tp ") + ToolVersion()).toStdString();
  header.address = run.ReadAt();
  // The versions as the window shows them, with a point whatever the user's separator.
  const auto version = [](std::optional<int> word) {
    return word ? PlainVersionText(*word).toStdString() : std::string();
  };
  header.softwareVersion = version(run.SoftwareVersion());
  header.protocolVersion = version(run.ProtocolVersion());
  return header;
}

QString SetEndText(const paramset::SetExchange& run) {
  switch (run.End()) {
    case paramset::SetEnd::kNoAnswer: {
      // A gateway that answered for the controller says why there was no answer.
      const QString reason = run.LastFailure() ? GatewayReason(*run.LastFailure()) : QString();
      const QString gateway = reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + u')';
      return QStringLiteral("Контроллер не отвечает (адрес %1): %2 обменов подряд без ответа%3")
          .arg(run.SlaveAddress())
          .arg(paramset::SetExchange::kGiveUpAfter)
          .arg(gateway);
    }
    case paramset::SetEnd::kQueueFull:
      return QStringLiteral("Очередь запросов заполнена: запрос параметров не принят");
    case paramset::SetEnd::kReadRefused:
      return QStringLiteral("Контроллер отказал в чтении параметров: ") +
             ExceptionMeaning(run.Refused() ? run.Refused()->exceptionCode : 0);
    case paramset::SetEnd::kInterrupted:
      return QStringLiteral("Прервано: параметры не прочитаны");
    case paramset::SetEnd::kRunning:
    case paramset::SetEnd::kDone:
      break;
  }
  return {};
}

QString RefusalText(const paramset::Refusal& refusal) {
  const QString which = refusal.first == refusal.last
                            ? QStringLiteral("параметра «%1»").arg(Caption(refusal.first))
                            : QStringLiteral("параметров «%1» - «%2»")
                                  .arg(Caption(refusal.first), Caption(refusal.last));
  return QStringLiteral("Контроллер отказал в записи ") + which + QStringLiteral(": ") +
         ExceptionMeaning(refusal.exceptionCode) +
         QStringLiteral("; параметры после них не записывались");
}

QString AddressChangeText(int from, int to) {
  return QStringLiteral("Адрес Modbus контроллера меняется: %1 → %2; он записывается последним")
      .arg(from)
      .arg(to);
}

QString NewAddressSilentText(int from, int to) {
  return QStringLiteral(
             "По новому адресу %2 контроллер не отвечает; проверено по прежнему адресу %1: "
             "новый адрес вступит в силу после перезапуска контроллера")
      .arg(from)
      .arg(to);
}

}  // namespace torvex
