// Saves a picture of the adapter binding dialog with two adapters that this machine need not
// have, after binding the first to COM1 in a throw-away settings folder:
//   xvfb-run -a bind_dialog_preview OUT.png
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "support/fake_adapter_source.h"
#include "ui/bind_adapter_dialog.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (app.arguments().size() < 2) {
    qWarning("usage: bind_dialog_preview OUT.png");
    return 2;
  }
  QTemporaryDir settings;
  torvex::test::FakeAdapterSource adapters;
  adapters.adapters = {
      {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI",
       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
      {"/dev/ttyUSB1", "USB Serial", "1a86", "", ""},
  };
  torvex::BindAdapterDialog dialog(adapters, settings.path(), 0);
  dialog.show();
  dialog.findChild<QPushButton*>("cmd_bind")->click();
  auto* number = dialog.findChild<QComboBox*>("cmb_bind_port");
  number->setCurrentIndex(number->findData(2));
  dialog.findChild<QListWidget*>("lst_adapters")->setCurrentRow(1);
  QTimer::singleShot(300, [&] {
    dialog.grab().save(app.arguments().at(1));
    app.quit();
  });
  return app.exec();
}
