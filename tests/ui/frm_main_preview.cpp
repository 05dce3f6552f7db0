// Saves a picture of frm_main after the start-up's window steps (addresses, 32 inputs, 32
// outputs). With --running it also fills the displays with texts of a running exchange, the
// widest that occur, to see that they fit.
#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <QTimer>

#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    qWarning("usage: frm_main_preview OUT.png [--running]");
    return 2;
  }
  torvex::MainWindow window;
  window.FillSlaveAddresses();
  window.CreateDiscreteInputs();
  window.CreateDiscreteOutputs();
  if (args.contains("--running")) {
    using torvex::Control;
    window.SetCaption("TORVEX-CPU. Тест протокола Modbus. Порт: COM1  115200,n,8,2");
    window.SetChecked({Control::opt_view, 1}, true);
    window.SetText({Control::frm_ain}, "Аналоговые входы");
    const QStringList rows{"AIN1. Датчик", "AIN2. Датчик", "AIN1. Вход  ", "AIN2. Вход  "};
    for (int r = 0; r < 4; ++r) window.SetText({Control::lbl_row, r}, rows[r]);
    const QStringList samples{"-327,68 Ом", "-3276,8 °C", "-327,68 %", "-65,536 мВ",
                              "Откл",       "?",          "109,3 Ом",  "23,5 °C"};
    for (int i = 0; i < 64; ++i) window.SetText({Control::lbl_u, i}, samples[i % samples.size()]);
    for (int i = 0; i < 32; i += 3) window.SetOpaque({Control::lbl_eds, i}, false);
    for (int i = 0; i < 32; i += 5) window.SetChecked({Control::chk_out, i}, true);
    window.SetText({Control::lbl_prop}, "4294967295 Гц");
    window.SetText({Control::lbl_dir}, "Вперед");
    window.SetText({Control::lbl_shaft}, "1500 Гц");
    window.SetText({Control::lbl_ds18b20}, "-0,5 °C");
    window.SetText({Control::lbl_st_flt}, "ST_FLT  0201");
    window.SetText({Control::lbl_pr_ver}, "1 .09 ");
    window.SetText({Control::lbl_sw_ver}, "2 .14 ");
    window.SetText({Control::lbl_sys_mes},
                   "Ошибка обмена: Нет ответа от контроллера TORVEX-CPU Очередь запросов "
                   "заполнена: новые команды не принимаются");
    for (int i = 0; i < 49; ++i) {
      const bool typeBox = (i >= 8 && i < 24) || (i >= 32 && i < 48);
      window.SetText({Control::txt_par, i}, typeBox ? "2 " : "-3276,8 ");
      window.SetBackColor({Control::txt_par, i}, i % 7 ? torvex::kGreen : torvex::kWhite);
    }
    window.SetText({Control::txt_dac, 0}, "12,5");
  }
  window.show();
  QTimer::singleShot(300, [&] {
    const bool saved = window.grab().save(args[1]);
    app.exit(saved ? 0 : 1);
  });
  return app.exec();
}
