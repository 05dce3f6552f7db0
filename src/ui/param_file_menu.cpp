#include "ui/param_file_menu.h"

#include <algorithm>

#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

#include "paramset/set_file.h"
#include "text/counted_noun.h"
#include "ui/main_window.h"
#include "ui/param_set_texts.h"

namespace torvex {
namespace {

const QString kSaveTitle = QStringLiteral("Сохранить параметры в файл");
const QString kLoadTitle = QStringLiteral("Загрузить параметры из файла");
const QString kCompareTitle = QStringLiteral("Сравнить параметры с файлом");
const QString kFilter = QStringLiteral("Параметры ЭСППЗУ (*.txt);;Все файлы (*)");
constexpr NounForms kParams{"параметр", "параметра", "параметров"};

QString Named(const QString& path) { return QStringLiteral("«") + path + QStringLiteral("»"); }

}  // namespace

ParamFileMenu::ParamFileMenu(MainWindow& window, ParamTransfer& params, ModbusEngine& engine,
                             StatusLine& status)
    : window_(window),
      params_(params),
      engine_(engine),
      status_(status),
      folder_(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)) {
  menu_ = window_.menuBar()->addMenu(QStringLiteral("П&араметры"));
  menu_->setObjectName(QStringLiteral("mnu_params"));
  auto add = [this](const char* name, const QString& text, auto slot) {
    QAction* action = menu_->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  readingActions_.push_back(add("mnu_params_save", QStringLiteral("Сохранить в файл…"), [this] {
    const QString path = AskFile(true, kSaveTitle);
    if (!path.isEmpty()) SaveToFile(path);
  }));
  add("mnu_params_load", QStringLiteral("Загрузить из файла…"), [this] {
    const QString path = AskFile(false, kLoadTitle);
    if (!path.isEmpty()) LoadFromFile(path);
  });
  readingActions_.push_back(add("mnu_params_compare", QStringLiteral("Сравнить с файлом…"), [this] {
    const QString path = AskFile(false, kCompareTitle);
    if (!path.isEmpty()) CompareWithFile(path);
  }));
}

// The exchange goes on while the dialog is open.
QString ParamFileMenu::AskFile(bool saving, const QString& title) {
  QString path;
  if (saving) {
    const QString name = QStringLiteral("параметры-адрес%1-%2.txt")
                             .arg(window_.SlaveAddress())
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd")));
    path = QFileDialog::getSaveFileName(&window_, title, QDir(folder_).filePath(name), kFilter);
  } else {
    path = QFileDialog::getOpenFileName(&window_, title, folder_, kFilter);
  }
  if (!path.isEmpty()) folder_ = QFileInfo(path).absolutePath();
  return path;
}

void ParamFileMenu::SaveToFile(const QString& path) { StartRead(Purpose::kSave, path); }

void ParamFileMenu::CompareWithFile(const QString& path) {
  if (run_) return;  // the menu items are disabled meanwhile
  const paramset::SetFile file = paramset::ReadSetFile(path);
  if (!file.image) {
    ShowBox(true, kCompareTitle, file.error + QStringLiteral("\nФайл не прочитан, сравнение не выполнено."));
    return;
  }
  file_ = *file.image;
  StartRead(Purpose::kCompare, path);
}

void ParamFileMenu::StartRead(Purpose purpose, const QString& path) {
  if (run_) return;  // the menu items are disabled meanwhile
  purpose_ = purpose;
  path_ = path;
  run_ = paramset::SetExchange::Read(window_.SlaveAddress());
  ShowBusy();
  run_->Start(engine_);
  if (!run_->Running()) Finish();
}

bool ParamFileMenu::LoadFromFile(const QString& path) {
  const paramset::SetFile file = paramset::ReadSetFile(path);
  if (!file.image) {
    ShowBox(true, kLoadTitle, file.error + QStringLiteral("\nИз файла ничего не загружено."));
    return false;
  }
  const std::vector<int> changed = params_.ShowSet(*file.image);
  QString text;
  if (changed.empty()) {
    text = QStringLiteral("Значения файла %1 совпадают с прочитанными из контроллера.").arg(Named(path));
  } else {
    text = QStringLiteral("Из файла %1 загружено: %2 отличаются от контроллера (или не прочитаны "
                          "из него) и отмечены белым.\nОни не записаны: запишите их кнопкой "
                          "«Записать всё в ЭСППЗУ» или клавишей Enter в поле.")
               .arg(Named(path), CountedNoun(static_cast<int>(changed.size()), kParams));
  }
  const int newAddress = paramfile::Raw(*file.image, paramfile::kSlaveAddressParam);
  if (newAddress != window_.SlaveAddress()) {
    text += QStringLiteral("\nФайл задаёт контроллеру адрес Modbus %1; связь идёт по адресу %2: после "
                           "записи выберите адрес %1.")
                .arg(newAddress)
                .arg(window_.SlaveAddress());
  }
  ShowBox(false, kLoadTitle, text);
  return true;
}

void ParamFileMenu::OnAnswer(const RxAnswer& answer) {
  if (!run_) return;
  run_->OnAnswer(answer);
  if (!run_->Running()) Finish();
}

void ParamFileMenu::OnTick(std::optional<ExchangeOutcome> outcome) {
  if (!run_) return;
  run_->OnTick(outcome);
  if (!run_->Running()) Finish();
}

QString ParamFileMenu::StatusNote() const {
  if (!run_) return {};
  return QStringLiteral(" Чтение параметров для %1: %2 из %3")
      .arg(purpose_ == Purpose::kSave ? QStringLiteral("сохранения в файл")
                                      : QStringLiteral("сравнения с файлом"))
      .arg(run_->StepsDone())
      .arg(run_->StepCount());
}

void ParamFileMenu::ShowBusy() {
  for (QAction* action : readingActions_) action->setEnabled(!run_);
}

void ParamFileMenu::Finish() {
  const paramset::SetExchange run = *run_;
  run_.reset();
  ShowBusy();
  if (purpose_ == Purpose::kSave) {
    FinishSave(run);
  } else {
    FinishCompare(run);
  }
  emit Finished();
}

void ParamFileMenu::FinishSave(const paramset::SetExchange& run) {
  if (!run.Controller()) {
    ShowBox(true, kSaveTitle, SetEndText(run) + QStringLiteral("\nПараметры не сохранены."));
    return;
  }
  if (const auto error = paramset::SaveSetFile(path_, *run.Controller(), SavedHeader(run))) {
    ShowBox(true, kSaveTitle, *error);
    return;
  }
  const QString text = QStringLiteral("Параметры контроллера (адрес %1) прочитаны и сохранены в файл %2")
                           .arg(run.ReadAt())
                           .arg(Named(path_));
  status_.ShowMessage(text);
  ShowBox(false, kSaveTitle, text);
}

void ParamFileMenu::FinishCompare(const paramset::SetExchange& run) {
  if (!run.Controller()) {
    ShowBox(true, kCompareTitle, SetEndText(run) + QStringLiteral("\nСравнение не выполнено."));
    return;
  }
  const std::vector<int> differing = paramfile::Differences(*run.Controller(), file_);
  if (differing.empty()) {
    status_.ShowMessage(QStringLiteral("Совпадает с файлом"));
    ShowBox(false, kCompareTitle,
            QStringLiteral("Совпадает с файлом %1: все 49 параметров контроллера (адрес %2) равны "
                           "значениям файла.")
                .arg(Named(path_))
                .arg(run.ReadAt()));
    return;
  }
  params_.MarkChanged(differing);
  ShowCompareDialog(*run.Controller(), run.ReadAt());
}

// The differences side by side; the file's values can be taken into the boxes from here.
void ParamFileMenu::ShowCompareDialog(const paramfile::ParamImage& controller, int address) {
  auto* dialog = new QDialog(&window_);
  dialog->setObjectName(QStringLiteral("dlg_params_compare"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Сравнение с файлом"));
  auto* layout = new QVBoxLayout(dialog);
  const std::vector<int> differing = paramfile::Differences(controller, file_);
  auto* heading = new QLabel(QStringLiteral("Контроллер (адрес %1) и файл %2: отличаются %3.")
                                 .arg(address)
                                 .arg(Named(path_), CountedNoun(static_cast<int>(differing.size()), kParams)),
                             dialog);
  heading->setObjectName(QStringLiteral("lbl_compare"));
  heading->setWordWrap(true);
  layout->addWidget(heading);
  auto* table = new QTableWidget(static_cast<int>(differing.size()), 3, dialog);
  table->setObjectName(QStringLiteral("tbl_compare"));
  table->setHorizontalHeaderLabels(
      {QStringLiteral("Параметр"), QStringLiteral("Контроллер"), QStringLiteral("Файл")});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int row = 0; row < table->rowCount(); ++row) {
    const int k = differing[static_cast<std::size_t>(row)];
    table->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(paramfile::Caption(k))));
    table->setItem(row, 1, new QTableWidgetItem(ShownParamValue(paramfile::Raw(controller, k), k)));
    table->setItem(row, 2, new QTableWidgetItem(ShownParamValue(paramfile::Raw(file_, k), k)));
  }
  table->resizeColumnsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
  QPushButton* take =
      buttons->addButton(QStringLiteral("Загрузить значения файла в поля"), QDialogButtonBox::ActionRole);
  take->setObjectName(QStringLiteral("cmd_take_file_values"));
  const paramfile::ParamImage file = file_;
  connect(take, &QPushButton::clicked, dialog, [this, file, dialog] {
    params_.ShowSet(file);
    dialog->close();
  });
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  layout->addWidget(buttons);
  // Tall enough for the rows there are, up to a dozen or so; the table scrolls beyond.
  constexpr int kWidth = 620;
  constexpr int kFrame = 150;
  constexpr int kRow = 30;
  constexpr int kMaxHeight = 520;
  dialog->resize(kWidth, std::min(kMaxHeight, kFrame + kRow * table->rowCount()));
  dialog->show();
}

// Stays until read, and stops nothing.
void ParamFileMenu::ShowBox(bool warning, const QString& title, const QString& text) {
  auto* box = new QMessageBox(warning ? QMessageBox::Warning : QMessageBox::Information, title,
                              text, QMessageBox::Ok, &window_);
  box->setObjectName(QStringLiteral("msg_params"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

}  // namespace torvex
