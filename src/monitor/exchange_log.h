#pragma once
// The exchange log: one line per frame,
//   time TAB TX|RX TAB hex bytes TAB outcome TAB meaning
// with the local time in ISO 8601 with milliseconds and its UTC offset
// (2026-12-10T14:03:07.125+03:00), the bytes as upper-case hex pairs separated by one blank
// ("-" when none arrived), and the outcome as one word (OutcomeWord). The file of
// `--exchange-log` and the monitor's "save" write the same lines.
#include <cstdint>
#include <functional>
#include <memory>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "monitor/frame_record.h"
#include "platform/result.h"

namespace torvex {

class FrameRing;

QString LogTime(std::int64_t wallMs);
// Appends the record's line, newline included, to out.
void AppendLogLine(QByteArray& out, const FrameRecord& record);

// Writes the frames first..end of the ring that pass the filter (given each frame's sequence
// number) into a new file at path (replacing it only once written whole).
Result SaveFrames(const FrameRing& ring, std::uint64_t first, std::uint64_t end,
                  const std::function<bool(std::uint64_t)>& filter, const QString& path);

// A log file that is appended to, one write per line, so that a line is on disk as soon as
// its frame is on the line and a run that is killed loses nothing. A file that cannot be
// written never stops the exchange: the failure is reported once, writing is tried again with
// every frame, and the recovery is reported too. A line that a full disk cut half-way is taken
// back (or, where the file cannot be shortened, finished before the next line), so the file
// holds whole lines only.
class ExchangeLogFile {
 public:
  // Told whenever writing the log changes between failing (the failure and why) and working
  // again (a success), a failed opening included.
  using StateHandler = std::function<void(const Result& writing)>;

  explicit ExchangeLogFile(const QString& path) : file_(std::make_unique<QFile>(path)) {}
  // The same on a file object of the caller's, not yet open.
  explicit ExchangeLogFile(std::unique_ptr<QFile> file) : file_(std::move(file)) {}

  void SetStateHandler(StateHandler handler) { onState_ = std::move(handler); }
  // Opens for appending; a file that cannot be opened is reported to the state handler.
  void Open();
  void Write(const FrameRecord& record);
  bool Failing() const { return failing_; }
  QString Path() const { return file_->fileName(); }

 private:
  void SetState(const Result& writing);

  std::unique_ptr<QFile> file_;
  QByteArray line_;
  QByteArray rest_;  // what a cut line still lacks, where it could not be taken back
  bool failing_ = false;
  StateHandler onState_;
};

}  // namespace torvex
