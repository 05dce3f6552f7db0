// The window as designed: which controls exist, of which kind, where, and with which texts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include "support/qt_printers.h"
#include "ui/main_window.h"
#include "window_lookup.h"

namespace torvex {
namespace {

using test::Elements;
using test::Find;
using test::IndexOf;

QRect FromTwips(int left, int top, int width, int height) {
  return {left / 15, top / 15, width / 15, height / 15};
}

QString ShownText(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* box = qobject_cast<const QLineEdit*>(widget)) return box->text();
  if (auto* frame = qobject_cast<const QGroupBox*>(widget)) return frame->title();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (auto* memo = qobject_cast<const QPlainTextEdit*>(widget)) return memo->toPlainText();
  return "<no text>";
}

class LayoutTest : public ::testing::Test {
 protected:
  MainWindow window;
};

struct Inventory {
  const char* name;
  const char* kind;
  int count;              // elements in the design state; 0 for a single control
  const char* container;  // objectName of the frame, or nullptr for the window itself
};

TEST_F(LayoutTest, EveryControlExistsOnceWithItsKindAndContainer) {
  const Inventory kInventory[] = {
      {"frm_shaft", "QGroupBox", 0, nullptr},
      {"Frame1", "QGroupBox", 0, nullptr},
      {"frm_dsout", "QGroupBox", 0, nullptr},
      {"frm_eds", "QGroupBox", 0, nullptr},
      {"Frame3", "QGroupBox", 0, nullptr},
      {"Frame4", "QGroupBox", 0, nullptr},
      {"frm_ain", "QGroupBox", 0, nullptr},
      {"Label2", "QLabel", 0, "frm_shaft"},
      {"lbl_prop", "QLabel", 0, "frm_shaft"},
      {"lbl_dir", "QLabel", 0, "frm_shaft"},
      {"Label3", "QLabel", 0, "frm_shaft"},
      {"lbl_shaft", "QLabel", 0, "frm_shaft"},
      {"lbl_ds18b20", "QLabel", 0, "Frame1"},
      {"cmd_read", "QPushButton", 0, "frm_dsout"},
      {"cmd_set", "QPushButton", 0, "frm_dsout"},
      {"lbl_st_flt", "QLabel", 0, nullptr},
      {"lblc_sw_ver", "QLabel", 0, nullptr},
      {"lbl_sw_ver", "QLabel", 0, nullptr},
      {"lblc_pr_ver", "QLabel", 0, nullptr},
      {"lbl_pr_ver", "QLabel", 0, nullptr},
      {"cmd_readall", "QPushButton", 0, nullptr},
      {"cmd_writeall", "QPushButton", 0, nullptr},
      {"Line4", "QFrame", 0, nullptr},
      {"lblc_slad", "QLabel", 0, nullptr},
      {"cmb_slad", "QComboBox", 0, nullptr},
      {"lbl_sys_mes", "QLabel", 0, nullptr},
      {"lbl_dbg", "QLabel", 0, nullptr},
      {"lblc_tr_id", "QLabel", 0, nullptr},
      {"lbl_tr_id", "QLabel", 0, nullptr},
      {"txt_dbg", "QPlainTextEdit", 0, nullptr},
      {"lbl_eds", "QLabel", 1, "frm_eds"},
      {"chk_out", "QCheckBox", 1, "frm_dsout"},
      {"opt_view", "QRadioButton", 2, "Frame4"},
      {"Label1", "QLabel", 2, "Frame3"},
      {"txt_dac", "QLineEdit", 8, "Frame3"},
      {"lbl_row", "QLabel", 4, "frm_ain"},
      {"lbl_u", "QLabel", 64, "frm_ain"},
      {"lblc_par", "QLabel", 23, nullptr},
      {"txt_par", "QLineEdit", 49, nullptr},
  };
  for (const Inventory& item : kInventory) {
    SCOPED_TRACE(item.name);
    const auto found = Elements(window, item.name);
    ASSERT_EQ(found.size(), static_cast<std::size_t>(std::max(item.count, 1)));
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_TRUE(found[i]->inherits(item.kind)) << found[i]->metaObject()->className();
      EXPECT_EQ(IndexOf(found[i]), item.count == 0 ? -1 : static_cast<int>(i));
      const QWidget* parent = found[i]->parentWidget();
      if (item.container) {
        EXPECT_EQ(parent->objectName(), item.container);
      } else {
        EXPECT_EQ(parent, window.centralWidget());
      }
    }
  }
  // Line4 is a line, not a box.
  EXPECT_EQ(Find<QFrame>(window, "Line4")->frameShape(), QFrame::HLine);
}

TEST_F(LayoutTest, WindowHasItsFixedClientAreaAndItsMenuItems) {
  window.show();
  EXPECT_EQ(window.objectName(), "frm_main");
  EXPECT_EQ(window.windowTitle(), "ЛАВРИС. Тест протокола Modbus. 9600N2");
  EXPECT_EQ(window.centralWidget()->geometry().size(), QSize(1202, 662));
  EXPECT_EQ(window.height(), 662 + window.menuBar()->height());
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);

  const QList<QAction*> items = window.menuBar()->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->objectName(), "mnu_settings");
  EXPECT_EQ(items[0]->text(), "&Настройка порта");
  EXPECT_EQ(items[0]->menu(), nullptr);
  // Beyond the design, after it: the exchange monitor.
  EXPECT_EQ(items[1]->objectName(), "mnu_monitor");
  EXPECT_EQ(items[1]->text(), "&Монитор обмена");
  EXPECT_EQ(items[1]->menu(), nullptr);
  // And the search for a controller of unknown settings.
  EXPECT_EQ(items[2]->objectName(), "mnu_search");
  EXPECT_EQ(items[2]->text(), "&Поиск контроллера");
}

struct Design {
  const char* name;
  int index;
  const char* text;
  int pixelSize;  // points × 96/72
  bool bold;
  Qt::Alignment horizontal;  // for labels; 0 where it does not apply
};

TEST_F(LayoutTest, DesignTextsFontsAndAlignment) {
  const Design kDesign[] = {
      {"frm_shaft", -1, "ДЗ", 18, false, {}},
      {"frm_ain", -1, "Аналоговые входы, мВ", 18, false, {}},
      {"Label2", -1, "Гребной вал, ДЗ1, ДЗ2", 16, true, Qt::AlignLeft},
      {"lbl_prop", -1, "-", 18, false, Qt::AlignLeft},
      {"lbl_dir", -1, "", 16, true, Qt::AlignLeft},
      {"lbl_ds18b20", -1, "-", 18, false, Qt::AlignLeft},
      {"cmd_read", -1, "Прочитать", 13, false, {}},
      // A point below the design where DejaVu Sans would not fit (9.75 and 8.25 pt designed).
      {"cmd_readall", -1, "Прочитать всё из ЭСППЗУ", 12, false, {}},
      {"cmd_writeall", -1, "Записать всё в ЭСППЗУ", 12, false, {}},
      {"opt_view", 0, "Входы АЦП", 10, false, {}},
      {"opt_view", 1, "Измерительные каналы", 10, false, {}},
      {"lbl_st_flt", -1, "ST_FLT", 11, false, Qt::AlignLeft},
      {"lblc_pr_ver", -1, "Версия протокола:", 13, false, Qt::AlignRight},
      {"lbl_sw_ver", -1, "-", 13, false, Qt::AlignHCenter},
      {"lblc_slad", -1, "Адрес устройства", 13, false, Qt::AlignRight},
      {"lbl_sys_mes", -1, "", 11, false, Qt::AlignLeft},
      {"lbl_dbg", -1, "debug", 11, false, Qt::AlignLeft},
      {"lblc_tr_id", -1, "Код транзакции:", 13, false, Qt::AlignRight},
      {"txt_dbg", -1, "Text1", 11, false, {}},
      {"lbl_eds", 0, "1", 13, false, Qt::AlignHCenter},
      {"chk_out", 0, "1", 11, false, {}},
      {"Label1", 0, "I, 4-20 мА", 16, true, Qt::AlignLeft},
      {"Label1", 1, "U, 0-10 В", 16, true, Qt::AlignLeft},
      {"txt_dac", 7, "0", 11, false, {}},
      {"lbl_row", 3, "AIN1", 11, false, Qt::AlignRight},
      {"lbl_u", 63, "-", 11, true, Qt::AlignHCenter},
      {"lblc_par", 0, "Точка1", 13, false, Qt::AlignHCenter},
      {"lblc_par", 4, "AIN2. Тип датчика", 13, false, Qt::AlignHCenter},
      {"lblc_par", 12, "Адрес Modbus", 13, false, Qt::AlignRight},
      {"lblc_par", 13, "4-20мА", 13, false, Qt::AlignHCenter},
      {"lblc_par", 17, "0 - отключен", 13, false, Qt::AlignLeft},
      {"lblc_par", 22, "5 - 4-20 мА", 13, false, Qt::AlignLeft},
      {"txt_par", 48, "-", 11, false, {}},
  };
  for (const Design& d : kDesign) {
    SCOPED_TRACE(std::string(d.name) + "(" + std::to_string(d.index) + ")");
    const QWidget* widget = Find(window, d.name, d.index);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(ShownText(widget), QString::fromUtf8(d.text));
    EXPECT_EQ(widget->font().pixelSize(), d.pixelSize);
    EXPECT_EQ(widget->font().bold(), d.bold);
    if (d.horizontal) {
      EXPECT_EQ(qobject_cast<const QLabel*>(widget)->alignment() & Qt::AlignHorizontal_Mask,
                d.horizontal);
    }
  }
}

struct Placement {
  const char* name;
  int index;
  QRect twips;  // left, top, width, height
};

TEST_F(LayoutTest, PlacesInTwipsBecomePixels) {
  const Placement kPlaces[] = {
      {"frm_ain", -1, {120, 3840, 17775, 2175}},
      {"frm_eds", -1, {9960, 120, 7575, 1335}},
      {"lbl_u", 17, {3120, 840, 975, 375}},  // row 1, column 1 of the grid
      {"lbl_u", 63, {16560, 1560, 975, 375}},
      {"lbl_row", 2, {240, 1200, 1575, 255}},
      {"opt_view", 0, {2880, 360, 1335, 255}},
      {"opt_view", 1, {120, 360, 2295, 255}},
      {"txt_dac", 2, {3960, 720, 855, 375}},
      {"txt_dac", 4, {2040, 1320, 855, 375}},
      {"Label1", 1, {360, 1320, 1575, 375}},
      {"lbl_eds", 0, {240, 360, 375, 375}},
      {"chk_out", 0, {240, 480, 615, 255}},
      // Parameter boxes: the corners of each block.
      {"txt_par", 0, {1200, 6720, 975, 375}},
      {"txt_par", 7, {2160, 7800, 975, 375}},
      {"txt_par", 8, {9960, 6240, 495, 375}},
      {"txt_par", 23, {17160, 6240, 495, 375}},
      {"txt_par", 24, {4680, 6720, 975, 375}},
      {"txt_par", 31, {5640, 7800, 975, 375}},
      {"txt_par", 32, {9960, 6600, 495, 375}},
      {"txt_par", 47, {17160, 6600, 495, 375}},
      {"txt_par", 48, {2040, 8400, 975, 375}},
      {"lblc_par", 1, {5640, 6240, 975, 255}},
      // A caption left of a box or list takes the control's top and height.
      {"lblc_par", 12, {360, 8400, 1575, 375}},
      {"lblc_par", 16, {3600, 6720, 975, 375}},
      {"lblc_par", 3, {7920, 6240, 1935, 375}},
      {"lblc_slad", -1, {360, 9240, 2055, 315}},
      {"lblc_par", 22, {8040, 8280, 1935, 255}},
      {"cmd_readall", -1, {3360, 8400, 2175, 495}},
      {"cmd_set", -1, {2880, 1680, 2055, 375}},
      {"cmb_slad", -1, {2640, 9240, 855, 315}},
      {"lbl_sys_mes", -1, {3720, 9240, 7080, 315}},
      {"lbl_pr_ver", -1, {16440, 3000, 1335, 255}},
      {"txt_dbg", -1, {16920, 8760, 735, 495}},
  };
  for (const Placement& p : kPlaces) {
    SCOPED_TRACE(std::string(p.name) + "(" + std::to_string(p.index) + ")");
    const QWidget* widget = Find(window, p.name, p.index);
    ASSERT_NE(widget, nullptr);
    const QRect& t = p.twips;
    EXPECT_EQ(widget->geometry(), FromTwips(t.x(), t.y(), t.width(), t.height()));
  }
  EXPECT_EQ(Find(window, "lbl_u", 17)->geometry().topLeft(), QPoint(208, 56));
  // The line from (240, 9120) to (13680, 9120) runs through the middle of its frame.
  const QRect line = Find(window, "Line4")->geometry();
  EXPECT_EQ(line.left(), 16);
  EXPECT_EQ(line.left() + line.width(), 912);
  EXPECT_EQ(line.center().y(), 608);
}

TEST_F(LayoutTest, HiddenControlsNeverShow) {
  window.CreateDiscreteInputs();
  window.CreateDiscreteOutputs();
  window.show();
  for (const char* name : {"lbl_dbg", "lblc_tr_id", "lbl_tr_id", "txt_dbg"}) {
    EXPECT_FALSE(Find(window, name)->isVisible()) << name;
  }
  EXPECT_TRUE(Find(window, "lbl_sys_mes")->isVisible());
  EXPECT_TRUE(Find(window, "lbl_eds", 31)->isVisible());
  EXPECT_TRUE(Find(window, "chk_out", 31)->isVisible());
}

TEST_F(LayoutTest, DesignStateHasNoSelectionsAndAFixedAddressList) {
  for (auto* option : Elements<QAbstractButton>(window, "opt_view"))
    EXPECT_FALSE(option->isChecked());
  auto* addresses = Find<QComboBox>(window, "cmb_slad");
  EXPECT_EQ(addresses->count(), 0);
  EXPECT_FALSE(addresses->isEditable());
}

TEST_F(LayoutTest, CreatedInputsAreTwoRowsOfSixteenCaptionedOneToThirtyTwo) {
  window.CreateDiscreteInputs();
  window.CreateDiscreteInputs();  // a second call adds nothing
  const auto inputs = Elements<QLabel>(window, "lbl_eds");
  ASSERT_EQ(inputs.size(), 32u);
  const QRect first = FromTwips(240, 360, 375, 375);
  for (int i = 0; i < 32; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(IndexOf(inputs[i]), i);
    EXPECT_EQ(inputs[i]->text(), QString::number(i + 1));
    EXPECT_EQ(inputs[i]->parentWidget()->objectName(), "frm_eds");
    EXPECT_EQ(inputs[i]->geometry(), first.translated((i % 16) * 25, (i / 16) * 25));
    EXPECT_TRUE(inputs[i]->autoFillBackground());  // green shown
    EXPECT_EQ(inputs[i]->font(), inputs[0]->font());
    EXPECT_EQ(inputs[i]->alignment(), inputs[0]->alignment());
    EXPECT_EQ(inputs[i]->frameStyle(), inputs[0]->frameStyle());
  }
  EXPECT_EQ(inputs[17]->geometry().topLeft(), QPoint(16 + 25, 24 + 25));  // column 1, row 1
}

TEST_F(LayoutTest, CreatedOutputsAreFourRowsOfEightUnchecked) {
  window.CreateDiscreteOutputs();
  window.CreateDiscreteOutputs();
  const auto outputs = Elements<QAbstractButton>(window, "chk_out");
  ASSERT_EQ(outputs.size(), 32u);
  const QRect first = FromTwips(240, 480, 615, 255);
  for (int i = 0; i < 32; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(IndexOf(outputs[i]), i);
    EXPECT_EQ(outputs[i]->text(), QString::number(i + 1));
    EXPECT_EQ(outputs[i]->parentWidget()->objectName(), "frm_dsout");
    EXPECT_EQ(outputs[i]->geometry(), first.translated((i % 8) * 41, (i / 8) * 17));
    EXPECT_FALSE(outputs[i]->isChecked());
  }
  EXPECT_EQ(outputs[9]->geometry().topLeft(), QPoint(16 + 41, 32 + 17));  // column 1, row 1
}

// Every control lies inside its frame or the client area, the created ones included.
TEST_F(LayoutTest, ControlsStayInsideTheirContainers) {
  window.CreateDiscreteInputs();
  window.CreateDiscreteOutputs();
  for (QWidget* widget : window.centralWidget()->findChildren<QWidget*>()) {
    const QString name = widget->objectName();
    if (name.isEmpty() || name.startsWith("qt_")) continue;  // parts of composite widgets
    const QWidget* parent = widget->parentWidget();
    EXPECT_TRUE(parent->rect().contains(widget->geometry()))
        << widget->objectName().toStdString() << "(" << IndexOf(widget) << ")";
  }
}

// With the window's fonts, no text is cut off: the design texts and the longest captions the
// view switch writes. A button may break its caption onto a second line.
TEST_F(LayoutTest, TextsFitTheirControls) {
  window.CreateDiscreteInputs();
  window.CreateDiscreteOutputs();
  window.SetText({Control::frm_ain}, "Аналоговые входы (на АЦП), мВ");
  window.SetText({Control::lbl_row, 1}, "AIN1. АЦП 16-31");
  window.SetText({Control::lbl_row, 2}, "AIN1. Вход  ");
  window.SetText({Control::lbl_st_flt}, "ST_FLT  FFFF");
  window.SetText({Control::lbl_ds18b20}, "Не подключен");
  // The widest values a running controller puts into the analog grid.
  const char* grid[] = {"1311,1 Ом", "15,468 мА", "2399,3 мВ", "-65,536 мВ", "-200,5 °C",
                        "100,25 %", "-3276,8 "};
  for (int i = 0; i < 7; ++i) window.SetText({Control::lbl_u, 17 + i}, grid[i]);
  window.show();

  for (QWidget* widget : window.centralWidget()->findChildren<QWidget*>()) {
    const QString text = ShownText(widget);
    if (widget->objectName().isEmpty() || text.isEmpty() || text == "<no text>") continue;
    if (!widget->isVisible()) continue;
    SCOPED_TRACE(widget->objectName().toStdString() + "(" + std::to_string(IndexOf(widget)) + ") " +
                 text.toStdString());
    const QFontMetrics metrics = widget->fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      const QRect room = label->contentsRect();
      EXPECT_LE(metrics.horizontalAdvance(text), room.width());
      EXPECT_LE(metrics.height(), room.height());
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      const QRect room = button->rect().adjusted(4, 2, -4, -2);
      const QRect needed = metrics.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, text);
      EXPECT_TRUE(room.contains(needed)) << needed.width() << "x" << needed.height();
    } else if (auto* choice = qobject_cast<QAbstractButton*>(widget)) {
      QStyleOptionButton option;
      option.initFrom(choice);
      const bool radio = choice->inherits("QRadioButton");
      const QRect room = choice->style()->subElementRect(
          radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, choice);
      EXPECT_LE(metrics.horizontalAdvance(text), room.width());
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
      QFont title = frame->font();
      title.setBold(true);  // some styles draw frame captions in bold
      EXPECT_LE(QFontMetrics(title).horizontalAdvance(text) + 16, frame->width());
    }
  }
}

}  // namespace
}  // namespace torvex
