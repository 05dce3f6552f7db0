#include "monitor/exchange_log.h"

#include <cerrno>

#include <QDateTime>

#include "monitor/frame_meaning.h"
#include "monitor/frame_ring.h"
#include "platform/checked_save.h"
#include "platform/system_error_text.h"
#include "platform/whole_write.h"
#include "text/hex_bytes.h"

namespace torvex {

QString LogTime(std::int64_t wallMs) {
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(wallMs);
  const int offset = local.offsetFromUtc();
  const int minutes = (offset < 0 ? -offset : offset) / 60;
  return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
         QLatin1Char(offset < 0 ? '-' : '+') +
         QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

void AppendLogLine(QByteArray& out, const FrameRecord& record) {
  out += LogTime(record.wallMs).toLatin1();
  out += record.direction == FrameDirection::Tx ? "\tTX\t" : "\tRX\t";
  out += HexBytes(record.Bytes()).toLatin1();
  out += '\t';
  out += OutcomeWord(record.outcome);
  out += '\t';
  out += FrameMeaning(record).toUtf8();
  out += '\n';
}

Result SaveFrames(const FrameRing& ring, std::uint64_t first, std::uint64_t end,
                  const std::function<bool(std::uint64_t)>& filter, const QString& path) {
  QByteArray lines;
  for (std::uint64_t s = std::max(first, ring.First()); s < std::min(end, ring.End()); ++s) {
    if (filter && !filter(s)) continue;
    AppendLogLine(lines, ring.At(s));
  }
  return SaveWholeFile(path, lines);
}

void ExchangeLogFile::Open() {
  errno = 0;
  if (file_->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return;
  const int error = errno;
  QString why = WriteFailureText(file_->fileName());
  if (why.isEmpty()) why = error != 0 ? SystemErrorText(error) : FileDeviceErrorText(file_->error());
  SetState(Result::Failed(why));
}

void ExchangeLogFile::Write(const FrameRecord& record) {
  if (!file_->isOpen()) return;
  line_.resize(0);  // keeps its capacity: no allocation per line once it has grown
  line_ += rest_;
  AppendLogLine(line_, record);
  const WholeWrite out = WriteWhole(*file_, line_);
  if (out.whole || out.takenBack) {
    rest_.clear();
  } else if (out.written > 0) {
    rest_ = line_.mid(out.written);  // a file that cannot be shortened: finished first, next time
  }
  if (out.whole == failing_) {
    SetState(out.whole ? Result()
                       : Result::Failed(out.error != 0 ? SystemErrorText(out.error)
                                                       : FileDeviceErrorText(QFileDevice::WriteError)));
  }
  if (!out.whole) file_->unsetError();
}

void ExchangeLogFile::SetState(const Result& writing) {
  failing_ = !writing;
  if (onState_) onState_(writing);
}

}  // namespace torvex
