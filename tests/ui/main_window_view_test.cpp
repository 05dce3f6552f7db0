// The window as the core and the operator see it: MainView writes and reads the named controls,
// operator actions come out as the window's signals.
#include <gtest/gtest.h>

#include <stdexcept>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

#include "support/qt_printers.h"
#include "ui/fitting_label.h"
#include "ui/main_window.h"
#include "window_lookup.h"

namespace torvex {
namespace {

using test::Find;

class ViewTest : public ::testing::Test {
 protected:
  ViewTest() {
    window.FillSlaveAddresses();
    window.CreateDiscreteInputs();
    window.CreateDiscreteOutputs();
    window.show();
  }

  // The colour seen on the screen a few pixels in from a widget's lower right corner, where no
  // text and no control is drawn, as "#rrggbb". The whole client area is rendered, so that a
  // widget without a background of its own shows what lies beneath it.
  QString Background(QWidget* widget) {
    QWidget* client = window.centralWidget();
    const QImage image = client->grab().toImage();
    return image
        .pixelColor(widget->mapTo(client, QPoint(widget->width() - 5, widget->height() - 5)))
        .name();
  }

  MainWindow window;
};

struct Mapping {
  Control control;
  const char* name;
  int last;  // highest index of an array, -1 for a single control
};

const Mapping kControls[] = {
    {Control::lbl_sys_mes, "lbl_sys_mes", -1},
    {Control::lbl_dbg, "lbl_dbg", -1},
    {Control::lbl_tr_id, "lbl_tr_id", -1},
    {Control::lbl_eds, "lbl_eds", 31},
    {Control::chk_out, "chk_out", 31},
    {Control::opt_view, "opt_view", 1},
    {Control::lbl_u, "lbl_u", 63},
    {Control::lbl_pr_ver, "lbl_pr_ver", -1},
    {Control::lbl_sw_ver, "lbl_sw_ver", -1},
    {Control::lbl_ds18b20, "lbl_ds18b20", -1},
    {Control::lbl_shaft, "lbl_shaft", -1},
    {Control::lbl_prop, "lbl_prop", -1},
    {Control::lbl_dir, "lbl_dir", -1},
    {Control::lbl_st_flt, "lbl_st_flt", -1},
    {Control::lbl_row, "lbl_row", 3},
    {Control::frm_ain, "frm_ain", -1},
    {Control::txt_dac, "txt_dac", 7},
    {Control::txt_par, "txt_par", 48},
};

QString WidgetText(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
  if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
  return qobject_cast<QAbstractButton*>(widget)->text();
}

// Every control of the view reaches the widget of its name, first and last element alike.
TEST_F(ViewTest, TextReachesTheNamedWidget) {
  for (const Mapping& m : kControls) {
    for (int index : {m.last == -1 ? -1 : 0, m.last}) {
      SCOPED_TRACE(std::string(m.name) + "(" + std::to_string(index) + ")");
      const QString text = QString("%1 %2 °C").arg(m.name).arg(index);
      window.SetText({m.control, index}, text);
      EXPECT_EQ(WidgetText(Find(window, m.name, index)), text);
      EXPECT_EQ(window.Text({m.control, index}), text);
    }
  }
}

TEST_F(ViewTest, TextsAreShownAsTheyAre) {
  // Blanks line captions up and must survive; angle brackets are not markup.
  window.SetText({Control::lbl_row, 2}, "AIN1. Вход  ");
  window.SetText({Control::lbl_sys_mes}, "<b>Ошибка</b>");
  EXPECT_EQ(window.Text({Control::lbl_row, 2}), "AIN1. Вход  ");
  EXPECT_EQ(Find<QLabel>(window, "lbl_sys_mes")->textFormat(), Qt::PlainText);
}

TEST_F(ViewTest, ParameterBoxKeepsItsColourThroughTextChanges) {
  const ControlRef box{Control::txt_par, 3};
  QWidget* widget = Find(window, "txt_par", 3);
  window.SetBackColor(box, kGreen);
  window.SetText(box, "12,5 ");
  EXPECT_EQ(Background(widget), "#00ff00");
  window.SetBackColor(box, kWhite);
  EXPECT_EQ(Background(widget), "#ffffff");
  window.SetBackColor(box, kGreen);
  EXPECT_NE(Background(Find(window, "txt_par", 4)), "#00ff00");  // others untouched
}

TEST_F(ViewTest, InputIndicatorShowsGreenOnlyWhenOpaque) {
  const QString frameBackground = Background(Find(window, "frm_eds"));
  ASSERT_NE(frameBackground, "#00ff00");
  for (int i : {0, 31}) {
    QWidget* indicator = Find(window, "lbl_eds", i);
    EXPECT_EQ(Background(indicator), "#00ff00") << i;  // as created
    window.SetOpaque({Control::lbl_eds, i}, false);
    EXPECT_EQ(Background(indicator), frameBackground) << i;
    window.SetOpaque({Control::lbl_eds, i}, true);
    EXPECT_EQ(Background(indicator), "#00ff00") << i;
  }
}

TEST_F(ViewTest, OutputBoxesKeepTheStateSet) {
  for (int i : {0, 9, 31}) {
    const ControlRef box{Control::chk_out, i};
    window.SetChecked(box, true);
    EXPECT_TRUE(window.IsChecked(box));
    EXPECT_TRUE(Find<QAbstractButton>(window, "chk_out", i)->isChecked());
    window.SetChecked(box, false);
    EXPECT_FALSE(window.IsChecked(box));
  }
}

TEST_F(ViewTest, SelectingAViewIsAClickOnIt) {
  QSignalSpy clicks(&window, &MainWindow::opt_view_Click);
  window.SetChecked({Control::opt_view, 1}, true);
  ASSERT_EQ(clicks.size(), 1);
  EXPECT_EQ(clicks.takeFirst().at(0).toInt(), 1);
  EXPECT_TRUE(window.IsChecked({Control::opt_view, 1}));
  EXPECT_FALSE(window.IsChecked({Control::opt_view, 0}));

  window.SetChecked({Control::opt_view, 1}, true);  // already selected: no second click
  EXPECT_EQ(clicks.size(), 0);

  // The operator's click on the other one: it alone is reported, the first one is cleared.
  QTest::mouseClick(Find(window, "opt_view", 0), Qt::LeftButton, {}, QPoint(5, 8));
  ASSERT_EQ(clicks.size(), 1);
  EXPECT_EQ(clicks.takeFirst().at(0).toInt(), 0);
  EXPECT_FALSE(window.IsChecked({Control::opt_view, 1}));

  window.SetChecked({Control::opt_view, 0}, false);  // clearing reports nothing
  EXPECT_EQ(clicks.size(), 0);
  EXPECT_FALSE(window.IsChecked({Control::opt_view, 0}));
}

TEST_F(ViewTest, SlaveAddressIsThePositionInTheList) {
  auto* addresses = Find<QComboBox>(window, "cmb_slad");
  ASSERT_EQ(addresses->count(), 128);
  EXPECT_EQ(addresses->itemText(0), "0");
  EXPECT_EQ(addresses->itemText(127), "127");
  EXPECT_EQ(window.SlaveAddress(), 7);
  addresses->setCurrentIndex(12);
  EXPECT_EQ(window.SlaveAddress(), 12);
  window.FillSlaveAddresses();  // a refill starts at 7 again, without duplicates
  EXPECT_EQ(addresses->count(), 128);
  EXPECT_EQ(window.SlaveAddress(), 7);
}

TEST_F(ViewTest, CaptionIsTheWindowTitle) {
  window.SetCaption("TORVEX-CPU. Тест протокола Modbus. Порт: COM1  9600,n,8,2");
  EXPECT_EQ(window.windowTitle(), "TORVEX-CPU. Тест протокола Modbus. Порт: COM1  9600,n,8,2");
}

TEST(ViewRefTest, ReferencesOutsideTheWindowAreRefused) {
  MainWindow window;  // design state: only element 0 of lbl_eds and chk_out exists
  const ControlRef kBad[] = {
      {Control::lbl_u, 64},      {Control::lbl_u, -1},           {Control::txt_par, 49},
      {Control::lbl_eds, 1},     {Control::chk_out, 31},         {Control::opt_view, 2},
      {Control::lbl_sys_mes, 0}, {static_cast<Control>(99), -1},
  };
  for (const ControlRef& ref : kBad) {
    SCOPED_TRACE(std::to_string(static_cast<int>(ref.control)) + "(" + std::to_string(ref.index) +
                 ")");
    EXPECT_THROW(window.Text(ref), std::out_of_range);
    EXPECT_THROW(window.SetText(ref, "x"), std::out_of_range);
    EXPECT_THROW(window.SetOpaque(ref, true), std::out_of_range);
  }
  EXPECT_THROW(window.IsChecked({Control::lbl_u, 0}), std::invalid_argument);
  EXPECT_THROW(window.SetChecked({Control::txt_par, 0}, true), std::invalid_argument);
}

// Enter in a box reports the box's index; other keys only edit.
TEST_F(ViewTest, EnterInABoxReportsItsIndex) {
  struct Case {
    const char* name;
    int index;
    void (MainWindow::*signal)(int);
  };
  for (const Case& c : {Case{"txt_dac", 4, &MainWindow::txt_dac_KeyPress},
                        Case{"txt_dac", 0, &MainWindow::txt_dac_KeyPress},
                        Case{"txt_par", 48, &MainWindow::txt_par_KeyPress},
                        Case{"txt_par", 10, &MainWindow::txt_par_KeyPress}}) {
    SCOPED_TRACE(std::string(c.name) + "(" + std::to_string(c.index) + ")");
    QSignalSpy presses(&window, c.signal);
    QWidget* box = Find(window, c.name, c.index);
    QTest::keyClicks(box, "12,5");
    EXPECT_EQ(presses.size(), 0);
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(presses.size(), 2);
    EXPECT_EQ(presses[0].at(0).toInt(), c.index);
    EXPECT_EQ(presses[1].at(0).toInt(), c.index);
  }
}

TEST_F(ViewTest, ParameterBoxReportsEveryChangeOfItsText) {
  QSignalSpy changes(&window, &MainWindow::txt_par_Change);
  QTest::keyClick(Find(window, "txt_par", 3), Qt::Key_7);
  ASSERT_EQ(changes.size(), 1);
  EXPECT_EQ(changes.takeFirst().at(0).toInt(), 3);

  window.SetText({Control::txt_par, 40}, "5 ");  // the program's change counts too
  ASSERT_EQ(changes.size(), 1);
  EXPECT_EQ(changes.takeFirst().at(0).toInt(), 40);

  window.SetText({Control::txt_dac, 3}, "1");  // analog outputs have no change handler
  EXPECT_EQ(changes.size(), 0);
}

TEST_F(ViewTest, ButtonsAndTheMenuItemReportTheirClicks) {
  struct Case {
    const char* name;
    void (MainWindow::*signal)();
  };
  for (const Case& c :
       {Case{"cmd_read", &MainWindow::cmd_read_Click}, Case{"cmd_set", &MainWindow::cmd_set_Click},
        Case{"cmd_readall", &MainWindow::cmd_readall_Click},
        Case{"cmd_writeall", &MainWindow::cmd_writeall_Click}}) {
    QSignalSpy clicks(&window, c.signal);
    QTest::mouseClick(Find(window, c.name), Qt::LeftButton);
    EXPECT_EQ(clicks.size(), 1) << c.name;
  }
  QSignalSpy settings(&window, &MainWindow::mnu_settings_Click);
  QSignalSpy monitor(&window, &MainWindow::mnu_monitor_Click);
  window.menuBar()->actions().at(0)->trigger();
  EXPECT_EQ(settings.size(), 1);
  window.menuBar()->actions().at(1)->trigger();
  EXPECT_EQ(monitor.size(), 1);
  EXPECT_EQ(settings.size(), 1);
}

// Long texts are drawn whole in the designed places: narrower or smaller, never cut. A short
// text keeps the designed font.
TEST_F(ViewTest, LongStatusesAndTenDigitSpeedsFitTheirLabels) {
  struct Case {
    Control control;
    const char* name;
    QString text;
  };
  const QString longest = QStringLiteral(
      "Ошибка обмена: Нет ответа от контроллера TORVEX-CPU Очередь запросов заполнена: новые "
      "команды не принимаются Журнал обмена не записывается");
  const Case cases[] = {
      {Control::lbl_sys_mes, "lbl_sys_mes", "Очередь запросов заполнена: команда не принята"},
      {Control::lbl_sys_mes, "lbl_sys_mes", longest},
      {Control::lbl_sys_mes, "lbl_sys_mes",
       "Связь с контроллером TORVEX-CPU установлена В очереди 510 запросов Нарушение протокола, код: 2"},
      {Control::lbl_prop, "lbl_prop", "4294967295 Гц"},
      {Control::lbl_shaft, "lbl_shaft", "4294967295 Гц"},
  };
  for (const Case& c : cases) {
    auto* label = Find<FittingLabel>(window, c.name);
    const QFont designed = label->font();
    window.SetText({c.control}, c.text);
    const QFont drawn = label->FittedFont();
    EXPECT_LE(QFontMetrics(drawn).horizontalAdvance(c.text), label->contentsRect().width())
        << c.text.toStdString();
    EXPECT_GE(drawn.pixelSize(), FittingLabel::kMinPixelSize);
    EXPECT_EQ(label->font(), designed);
    EXPECT_EQ(window.Text({c.control}), c.text);
  }
  window.SetText({Control::lbl_prop}, "1500 Гц");
  EXPECT_EQ(Find<FittingLabel>(window, "lbl_prop")->FittedFont(), Find<FittingLabel>(window, "lbl_prop")->font());
}

// Ticking an output and choosing an address are the operator's own business: no event.
TEST_F(ViewTest, OutputBoxesAndTheAddressListRaiseNothing) {
  const QMetaObject& meta = MainWindow::staticMetaObject;
  std::vector<std::unique_ptr<QSignalSpy>> spies;
  for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
    if (meta.method(i).methodType() == QMetaMethod::Signal) {
      spies.push_back(std::make_unique<QSignalSpy>(&window, meta.method(i)));
    }
  }
  ASSERT_EQ(spies.size(), 11u);
  QTest::mouseClick(Find(window, "chk_out", 5), Qt::LeftButton, {}, QPoint(5, 8));
  EXPECT_TRUE(window.IsChecked({Control::chk_out, 5}));
  Find<QComboBox>(window, "cmb_slad")->setCurrentIndex(20);
  for (const auto& spy : spies) EXPECT_EQ(spy->size(), 0) << spy->signal().toStdString();
}

}  // namespace
}  // namespace torvex
