// Preloaded (LD_PRELOAD) into the packaged torvex-tp by the package tests: the hand of an
// operator at a first start. It answers the port message (OK, or Cancel when TORVEX_HAND is
// "cancel"), picks COM1 with "115200,n,8,2" in the settings dialog and presses OK, and says
// on standard output what it saw, one line each: "message: ...", "dialog: ..." and "polling"
// once the status line reports the link.
#include <cstdio>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

void Say(QString line) {
  line.replace(QStringLiteral("\r\n"), QStringLiteral("|"));
  std::fputs((line + u'\n').toUtf8().constData(), stdout);
  std::fflush(stdout);
}

void Look() {
  static bool polling = false;
  QWidget* modal = QApplication::activeModalWidget();
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    Say(QStringLiteral("message: ") + box->text());
    const bool cancel = qEnvironmentVariable("TORVEX_HAND") == QLatin1String("cancel");
    box->button(cancel ? QMessageBox::Cancel : QMessageBox::Ok)->click();
    return;
  }
  if (modal && modal->objectName() == QLatin1String("wndSetCOM")) {
    Say(QStringLiteral("dialog: ") + modal->findChild<QLabel*>("lbl_ini_path")->text());
    auto* list = modal->findChild<QComboBox*>("cmbCOMList");
    list->setCurrentIndex(list->findText(QStringLiteral("COM1")));
    modal->findChild<QLineEdit*>("txt_settings")->setText(QStringLiteral("115200,n,8,2"));
    modal->findChild<QPushButton*>("OK")->click();
    return;
  }
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* status = window->findChild<QLabel*>("lbl_sys_mes");
    if (!polling && window->isVisible() && status &&
        status->text() == QStringLiteral("Связь с контроллером TORVEX-CPU установлена")) {
      polling = true;
      Say(QStringLiteral("polling"));
    }
  }
}

// Runs as the application object is made, before the program's start-up.
void Start() {
  auto* hand = new QTimer(QCoreApplication::instance());
  QObject::connect(hand, &QTimer::timeout, &Look);
  hand->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
