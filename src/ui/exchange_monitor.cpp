#include "ui/exchange_monitor.h"

#include <algorithm>
#include <utility>

#include <QDateTime>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include "monitor/exchange_log.h"
#include "ui/frame_row_delegate.h"

namespace torvex {
namespace {

QString AnswerWaitNote(AnswerWaitSource source) {
  switch (source) {
    case AnswerWaitSource::kLearned:
      return QStringLiteral(" (подстроено по опоздавшим ответам)");
    case AnswerWaitSource::kSet:
      return QStringLiteral(" (задано в настройке)");
    case AnswerWaitSource::kAutomatic:
      break;
  }
  return QStringLiteral(" (автоматически)");
}

QPushButton* AddButton(QLayout* row, QWidget* parent, const char* name, const char* text, bool checkable) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(QLatin1String(name));
  button->setCheckable(checkable);
  button->setAutoDefault(false);
  row->addWidget(button);
  return button;
}

}  // namespace

ExchangeMonitor::ExchangeMonitor(ExchangeTrace& trace, QWidget* owner)
    : QWidget(owner, Qt::Window), trace_(trace), model_(trace, this) {
  setObjectName(QStringLiteral("wnd_monitor"));
  setWindowTitle(QStringLiteral("Монитор обмена"));
  resize(960, 520);

  auto* column = new QVBoxLayout(this);
  auto* buttons = new QHBoxLayout;
  column->addLayout(buttons);
  pause_ = AddButton(buttons, this, "cmd_pause", "Пауза", true);
  auto* clear = AddButton(buttons, this, "cmd_clear", "Очистить", false);
  auto* errors = AddButton(buttons, this, "cmd_errors", "Только ошибки", true);
  auto* save = AddButton(buttons, this, "cmd_save", "Сохранить…", false);
  buttons->addStretch();

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("tbl_frames"));
  table_->setModel(&model_);
  delegate_ = new FrameRowDelegate(model_, table_);
  table_->setItemDelegate(delegate_);
  // Rows change their texts only when the table is rebuilt or the bytes column narrowed.
  connect(&model_, &QAbstractItemModel::modelReset, delegate_, &FrameRowDelegate::Forget);
  connect(&model_, &QAbstractItemModel::dataChanged, delegate_, &FrameRowDelegate::Forget);
  table_->setWordWrap(false);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Rows of one height: the view then never measures ten thousand rows.
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  QHeaderView* header = table_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->resizeSection(ExchangeMonitorModel::kTime, fontMetrics().horizontalAdvance("00:00:00.0000") + 12);
  header->resizeSection(ExchangeMonitorModel::kDirection, fontMetrics().horizontalAdvance("Напр.") + 14);
  header->resizeSection(ExchangeMonitorModel::kBytes, 250);
  header->resizeSection(ExchangeMonitorModel::kMeaning, 320);
  header->resizeSection(ExchangeMonitorModel::kOutcome,
                        fontMetrics().horizontalAdvance(QStringLiteral("неполный ответ")) + 14);
  header->setStretchLastSection(true);
  // The bytes column shows as many bytes as its width holds.
  const auto fitBytes = [this](int logical, int, int width) {
    if (logical != ExchangeMonitorModel::kBytes) return;
    const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int digit = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    model_.SetBytesShown((width - 3 * digit) / (3 * digit));  // room left for " …"
  };
  connect(header, &QHeaderView::sectionResized, this, fitBytes);
  fitBytes(ExchangeMonitorModel::kBytes, 0, header->sectionSize(ExchangeMonitorModel::kBytes));
  column->addWidget(table_, 1);
  // Following the newest row is a state of its own: the user's scrolling sets it, and a range
  // that changes under it (new rows, a resized window, a table not laid out yet) keeps it.
  QScrollBar* bar = table_->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
    if (!adjusting_) following_ = value >= bar->maximum();
  });
  connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
    if (!following_) return;
    adjusting_ = true;
    bar->setValue(maximum);
    adjusting_ = false;
  });
  model_.SetRefresher([this] { Refresh(); });

  counters_ = new QLabel(this);
  counters_->setObjectName(QStringLiteral("lbl_counters"));
  counters_->setTextFormat(Qt::PlainText);
  counters_->setWordWrap(true);  // a narrow window shows every counter on two lines
  column->addWidget(counters_);

  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &ExchangeMonitor::Refresh);
  connect(pause_, &QPushButton::toggled, this, [this](bool paused) { trace_.SetPaused(paused); });
  connect(clear, &QPushButton::clicked, this, [this] {
    trace_.Clear();
    following_ = true;
    Refresh();
  });
  connect(errors, &QPushButton::toggled, this, [this](bool only) {
    following_ = true;
    model_.SetOnlyErrors(only);
    ScrollToNewest();
  });
  connect(save, &QPushButton::clicked, this, &ExchangeMonitor::Save);
  UpdateCounters();
}

void ExchangeMonitor::Refresh() {
  QScrollBar* bar = table_->verticalScrollBar();
  const int value = bar->value();
  adjusting_ = true;
  const int removed = model_.Refresh();
  if (following_) {
    ScrollToNewest();
  } else if (removed > 0) {
    bar->setValue(std::max(0, value - removed));  // the rows read stay where they were
  }
  adjusting_ = false;
  UpdateCounters();
}

void ExchangeMonitor::ScrollToNewest() {
  const bool adjusting = std::exchange(adjusting_, true);
  table_->scrollToBottom();
  adjusting_ = adjusting;
}

void ExchangeMonitor::UpdateCounters() {
  const ExchangeCounters& c = trace_.Counters();
  if (countersShown_ && c == shownCounters_) return;
  shownCounters_ = c;
  countersShown_ = true;
  counters_->setText(QStringLiteral("Запросов: %1 (повторов: %2)    Ответов: %3 (исключений: %4)    "
                                    "Ошибок: %5 — нет ответа %6, КС %7, неполный ответ %8, "
                                    "не тот ответ %9, свой запрос %10    Отброшено: %11    "
                                    "Ожидание ответа: %12 мс%13")
                         .arg(c.requests)
                         .arg(c.resends)
                         .arg(c.answers)
                         .arg(c.exceptions)
                         .arg(c.errors)
                         .arg(c.noAnswer)
                         .arg(c.badCrc)
                         .arg(c.incomplete)
                         .arg(c.mismatch)
                         .arg(c.ownRequest)
                         .arg(c.dropped)
                         .arg(c.answerWaitMs)
                         .arg(AnswerWaitNote(c.answerWaitSource)));
}

Result ExchangeMonitor::SaveTo(const QString& path) const {
  return SaveFrames(trace_.Ring(), model_.FirstShown(), model_.EndShown(),
                    [this](std::uint64_t sequence) { return model_.Shows(sequence); }, path);
}

void ExchangeMonitor::Save() {
  const QString suggested =
      QStringLiteral("обмен-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) +
      QStringLiteral(".log");
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить обмен"), suggested,
                                                    QStringLiteral("Журнал обмена (*.log *.txt);;Все файлы (*)"));
  if (path.isEmpty()) return;
  const Result saved = SaveTo(path);
  if (!saved) {
    QMessageBox::warning(
        this, QStringLiteral("Монитор обмена"),
        QStringLiteral("Не удалось сохранить ") + path + QStringLiteral(":\n") + saved.Why());
  }
}

void ExchangeMonitor::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
  timer_.start();
}

void ExchangeMonitor::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

}  // namespace torvex
