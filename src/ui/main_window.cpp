#include "ui/main_window.h"

#include <stdexcept>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "ui/design_units.h"
#include "ui/fitting_label.h"
#include "ui/wrapping_button.h"

namespace torvex {
namespace {

// The client area below the menu bar: 18030 × 9930 twips.
constexpr int kClientWidth = 1202;
constexpr int kClientHeight = 662;

// Labels draw their text from the top, so that a row caption and the values of its row share a
// line whatever their heights (captions beside a box are centred on it instead: CentreBeside).
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignTop;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignTop;

// Frame captions sit on the frame's top line, as on the classic frames the layout was drawn
// for; a caption above the line would run into the controls placed near the top.
constexpr char kFrameStyle[] =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 10px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; padding: 0 2px; }";

QString Utf8(const char* text) { return QString::fromUtf8(text); }

template <class W>
W* Place(W* widget, const char* name, const QRect& place, const QFont& font) {
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(place);
  widget->setFont(font);
  return widget;
}

template <class W>
W* Element(W* widget, int index) {
  widget->setProperty("index", index);
  return widget;
}

QGroupBox* AddFrame(QWidget* parent, const char* name, const char* caption, const QRect& place) {
  return Place(new QGroupBox(Utf8(caption), parent), name, place, DesignFont(kFramePt));
}

template <class L = QLabel>
L* AddLabel(QWidget* parent, const char* name, const char* text, const QRect& place,
            const QFont& font = DesignFont(kDefaultPt), Qt::Alignment align = kLeft) {
  auto* label = Place(new L(parent), name, place, font);
  // Texts from the line and the program are shown as they are, never read as markup.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(align);
  label->setText(Utf8(text));
  return label;
}

QLineEdit* AddTextBox(QWidget* parent, const char* name, const char* text, const QRect& place) {
  return Place(new QLineEdit(Utf8(text), parent), name, place, DesignFont(kDefaultPt));
}

QPushButton* AddButton(QWidget* parent, const char* name, const char* caption, const QRect& place,
                       double points = kMediumPt) {
  auto* button = Place(new WrappingButton(Utf8(caption), parent), name, place, DesignFont(points));
  button->setAutoDefault(false);
  return button;
}

// A caption to the left of a box or list takes the control's top and height and centres its
// text on it, so that both texts share a line whatever their type sizes.
void CentreBeside(QLabel* caption, const QWidget* control) {
  const QRect box = control->geometry();
  caption->setGeometry(caption->x(), box.y(), caption->width(), box.height());
  caption->setAlignment((caption->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
}

void SetColor(QWidget* widget, QPalette::ColorRole role, std::uint32_t rgb) {
  QPalette palette = widget->palette();
  palette.setColor(role, QColor::fromRgb(rgb));
  widget->setPalette(palette);
}

// A discrete-input indicator as designed: a framed green square with its number in the middle.
// The green shows while the label fills its background (opaque).
QLabel* NewInputIndicator(QWidget* frame, int index, const QRect& place) {
  auto* label = AddLabel(frame, "lbl_eds", "", place, DesignFont(kMediumPt), Qt::AlignCenter);
  label->setFrameStyle(QFrame::Box | QFrame::Plain);
  SetColor(label, QPalette::Window, kGreen);
  label->setAutoFillBackground(true);
  label->setText(QString::number(index + 1));
  return Element(label, index);
}

QCheckBox* NewOutputBox(QWidget* frame, int index, const QRect& place) {
  auto* box = Place(new QCheckBox(QString::number(index + 1), frame), "chk_out", place,
                    DesignFont(kDefaultPt));
  return Element(box, index);
}

// Place (twips) and text of the parameter-area captions; the position in the table is the index.
struct CaptionSpec {
  int left;
  int top;
  int width;
  const char* text;
  Qt::Alignment align = kCentre;
  int box = -1;  // the parameter box this caption stands to the left of
};

// Legend of the sensor-type codes: captions 17-22, one line each.
constexpr int kLegendTop = 7080;
constexpr int kLegendStep = 240;

const std::array<CaptionSpec, 23> kParamCaptions{{
    {1200, 6240, 975, "Точка1"},
    {5640, 6240, 975, "Точка 2"},
    {4680, 6240, 975, "Точка 1"},
    {7920, 6240, 1935, "AIN1. Тип датчика", kCentre, 8},
    {7920, 6600, 1935, "AIN2. Тип датчика", kCentre, 32},
    {240, 6240, 975, "AIN1"},
    {3720, 6240, 975, "AIN2"},
    {2160, 6240, 975, "Точка 2"},
    {120, 6720, 975, "Pt100", kCentre, 0},
    {120, 7080, 975, "Pt1000", kCentre, 2},
    {120, 7440, 975, "ТХА", kCentre, 4},
    {120, 7800, 975, "4-20мА", kCentre, 6},
    {360, 8520, 1575, "Адрес Modbus", kRight, 48},
    {3600, 7800, 975, "4-20мА", kCentre, 30},
    {3600, 7440, 975, "ТХА", kCentre, 28},
    {3600, 7080, 975, "Pt1000", kCentre, 26},
    {3600, 6720, 975, "Pt100", kCentre, 24},
    {8040, kLegendTop + 0 * kLegendStep, 1935, "0 - отключен", kLeft},
    {8040, kLegendTop + 1 * kLegendStep, 1935, "1 - дискретный", kLeft},
    {8040, kLegendTop + 2 * kLegendStep, 1935, "2 - Pt100", kLeft},
    {8040, kLegendTop + 3 * kLegendStep, 1935, "3 - Pt1000", kLeft},
    {8040, kLegendTop + 4 * kLegendStep, 1935, "4 - ТХА", kLeft},
    {8040, kLegendTop + 5 * kLegendStep, 1935, "5 - 4-20 мА", kLeft},
}};

// Place of parameter box i. Boxes 0-7 and 24-31 calibrate AIN1 and AIN2 (two points per
// sensor row), 8-23 and 32-47 hold the sensor types of the 16 channels of each, 48 the
// controller's Modbus address.
QRect ParamBoxPlace(int i) {
  constexpr int kBoxW = 975, kBoxH = 375, kTypeW = 495;
  if (i < 8) return Twips(i % 2 == 0 ? 1200 : 2160, 6720 + 360 * (i / 2), kBoxW, kBoxH);
  if (i < 24) return Twips(9960 + 480 * (i - 8), 6240, kTypeW, kBoxH);
  if (i < 32) return Twips(i % 2 == 0 ? 4680 : 5640, 6720 + 360 * ((i - 24) / 2), kBoxW, kBoxH);
  if (i < 48) return Twips(9960 + 480 * (i - 32), 6600, kTypeW, kBoxH);
  return Twips(2040, 8400, kBoxW, kBoxH);
}

template <class W, std::size_t N>
QWidget* ArrayElement(const std::array<W*, N>& elements, ControlRef ref) {
  if (ref.index < 0 || static_cast<std::size_t>(ref.index) >= N || !elements[ref.index]) {
    throw std::out_of_range("no element " + std::to_string(ref.index) + " of control #" +
                            std::to_string(static_cast<int>(ref.control)));
  }
  return elements[ref.index];
}

QWidget* Single(QWidget* widget, ControlRef ref) {
  if (ref.index != -1) {
    throw std::out_of_range("control #" + std::to_string(static_cast<int>(ref.control)) +
                            " is not an array");
  }
  return widget;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frm_main"));
  setWindowTitle(Utf8("ЛАВРИС. Тест протокола Modbus. 9600N2"));
  // A fixed single border: no maximising, no resizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  QAction* settings = menuBar()->addAction(Utf8("&Настройка порта"));
  settings->setObjectName(QStringLiteral("mnu_settings"));
  connect(settings, &QAction::triggered, this, &MainWindow::mnu_settings_Click);
  // Beyond the design: the exchange monitor, in a window of its own.
  QAction* monitor = menuBar()->addAction(Utf8("&Монитор обмена"));
  monitor->setObjectName(QStringLiteral("mnu_monitor"));
  connect(monitor, &QAction::triggered, this, &MainWindow::mnu_monitor_Click);

  QAction* search = menuBar()->addAction(Utf8("&Поиск контроллера"));
  search->setObjectName(QStringLiteral("mnu_search"));
  connect(search, &QAction::triggered, this, &MainWindow::mnu_search_Click);

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);
  client->setFont(DesignFont(kDefaultPt));
  client->setStyleSheet(kFrameStyle);
  setCentralWidget(client);

  BuildShaftPanel(client);
  BuildTemperaturePanel(client);
  BuildOutputsPanel(client);
  BuildInputsPanel(client);
  BuildAnalogOutputsPanel(client);
  BuildViewPanel(client);
  BuildAnalogInputsPanel(client);
  BuildParameterArea(client);
  BuildWindowControls(client);

  // The window takes the client area plus the menu bar, and keeps that size.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::BuildShaftPanel(QWidget* client) {
  auto* frame = AddFrame(client, "frm_shaft", "ДЗ", Twips(120, 0, 4335, 2895));
  const QFont caption = DesignFont(kLargePt, true);
  const QFont value = DesignFont(kFramePt);
  AddLabel(frame, "Label2", "Гребной вал, ДЗ1, ДЗ2", Twips(240, 600, 3735, 375), caption);
  // Speeds of ten digits ("4294967295 Гц") are drawn narrower rather than cut.
  lbl_prop_ = AddLabel<FittingLabel>(frame, "lbl_prop", "-", Twips(360, 1080, 1575, 375), value);
  lbl_dir_ = AddLabel(frame, "lbl_dir", "", Twips(2160, 1080, 1935, 375), caption);
  AddLabel(frame, "Label3", "Двигатель ДЗ3", Twips(240, 1800, 3735, 375), caption);
  lbl_shaft_ = AddLabel<FittingLabel>(frame, "lbl_shaft", "-", Twips(360, 2280, 1575, 375), value);
}

void MainWindow::BuildTemperaturePanel(QWidget* client) {
  auto* frame =
      AddFrame(client, "Frame1", "Датчик температуры DS1621", Twips(4560, 120, 5295, 975));
  lbl_ds18b20_ =
      AddLabel(frame, "lbl_ds18b20", "-", Twips(360, 360, 3615, 495), DesignFont(kFramePt));
}

void MainWindow::BuildOutputsPanel(QWidget* client) {
  frm_dsout_ = AddFrame(client, "frm_dsout", "Дискретные выходы", Twips(4560, 1560, 5295, 2175));
  chk_out_[0] = NewOutputBox(frm_dsout_, 0, Twips(240, 480, 615, 255));
  auto* read = AddButton(frm_dsout_, "cmd_read", "Прочитать", Twips(360, 1680, 2055, 375));
  auto* set = AddButton(frm_dsout_, "cmd_set", "Установить", Twips(2880, 1680, 2055, 375));
  connect(read, &QPushButton::clicked, this, &MainWindow::cmd_read_Click);
  connect(set, &QPushButton::clicked, this, &MainWindow::cmd_set_Click);
}

void MainWindow::BuildInputsPanel(QWidget* client) {
  frm_eds_ = AddFrame(client, "frm_eds", "Дискретные входы", Twips(9960, 120, 7575, 1335));
  lbl_eds_[0] = NewInputIndicator(frm_eds_, 0, Twips(240, 360, 375, 375));
}

void MainWindow::BuildAnalogOutputsPanel(QWidget* client) {
  auto* frame = AddFrame(client, "Frame3", "Аналоговые выходы", Twips(9960, 1560, 6135, 2175));
  constexpr std::array<int, 2> kRowTops{720, 1320};
  constexpr std::array<int, 4> kLefts{2040, 3000, 3960, 4920};
  const std::array<const char*, 2> kRowCaptions{"I, 4-20 мА", "U, 0-10 В"};
  for (int row = 0; row < 2; ++row) {
    Label1_[row] =
        Element(AddLabel(frame, "Label1", kRowCaptions[row], Twips(360, kRowTops[row], 1575, 375),
                         DesignFont(kLargePt, true)),
                row);
  }
  for (int k = 0; k < 8; ++k) {
    auto* box = Element(
        AddTextBox(frame, "txt_dac", "0", Twips(kLefts[k % 4], kRowTops[k / 4], 855, 375)), k);
    connect(box, &QLineEdit::returnPressed, this, [this, k] { emit txt_dac_KeyPress(k); });
    txt_dac_[k] = box;
  }
}

void MainWindow::BuildViewPanel(QWidget* client) {
  auto* frame = AddFrame(client, "Frame4", "Режим отображения", Twips(120, 3000, 4335, 735));
  // Neither is selected in the design, so that start-up's selection counts as a click.
  // "Измерительные каналы" in DejaVu Sans fits its width only a point smaller than designed.
  const std::array<QRect, 2> places{Twips(2880, 360, 1335, 255), Twips(120, 360, 2295, 255)};
  const std::array<const char*, 2> captions{"Входы АЦП", "Измерительные каналы"};
  for (int j = 0; j < 2; ++j) {
    auto* option = Element(Place(new QRadioButton(Utf8(captions[j]), frame), "opt_view", places[j],
                                 DesignFont(kDefaultPt - 1)),
                           j);
    connect(option, &QRadioButton::toggled, this, [this, j](bool on) {
      if (on) emit opt_view_Click(j);
    });
    opt_view_[j] = option;
  }
}

// The grid's values with their units ("1311,1 Ом", "15,468 мА") are wider in DejaVu Sans than in
// the design's face; its condensed cut keeps them inside their cells at the design's size.
namespace {
QFont GridFont() {
  QFont font = DesignFont(kDefaultPt, true);
  font.setStretch(QFont::SemiCondensed);
  return font;
}
}  // namespace

void MainWindow::BuildAnalogInputsPanel(QWidget* client) {
  frm_ain_ = AddFrame(client, "frm_ain", "Аналоговые входы, мВ", Twips(120, 3840, 17775, 2175));
  for (int r = 0; r < 4; ++r) {
    lbl_row_[r] =
        Element(AddLabel(frm_ain_, "lbl_row", "AIN1", Twips(240, 480 + 360 * r, 1575, 255),
                         DesignFont(kDefaultPt), kRight),
                r);
  }
  for (int i = 0; i < 64; ++i) {
    lbl_u_[i] = Element(AddLabel(frm_ain_, "lbl_u", "-",
                                 Twips(2160 + 960 * (i % 16), 480 + 360 * (i / 16), 975, 375),
                                 GridFont(), kCentre),
                        i);
  }
}

void MainWindow::BuildParameterArea(QWidget* client) {
  for (std::size_t i = 0; i < kParamCaptions.size(); ++i) {
    const CaptionSpec& c = kParamCaptions[i];
    lblc_par_[i] = Element(AddLabel(client, "lblc_par", c.text, Twips(c.left, c.top, c.width, 255),
                                    DesignFont(kMediumPt), c.align),
                           static_cast<int>(i));
  }
  for (int i = 0; i < static_cast<int>(txt_par_.size()); ++i) {
    auto* box = Element(AddTextBox(client, "txt_par", "-", ParamBoxPlace(i)), i);
    connect(box, &QLineEdit::textChanged, this, [this, i] { emit txt_par_Change(i); });
    connect(box, &QLineEdit::returnPressed, this, [this, i] { emit txt_par_KeyPress(i); });
    txt_par_[i] = box;
  }
  for (std::size_t i = 0; i < kParamCaptions.size(); ++i) {
    if (kParamCaptions[i].box >= 0) CentreBeside(lblc_par_[i], txt_par_[kParamCaptions[i].box]);
  }
  // Two-line captions in DejaVu Sans fit these buttons only a point smaller than designed.
  auto* readAll = AddButton(client, "cmd_readall", "Прочитать всё из ЭСППЗУ",
                            Twips(3360, 8400, 2175, 495), kMediumPt - 1);
  auto* writeAll = AddButton(client, "cmd_writeall", "Записать всё в ЭСППЗУ",
                             Twips(5760, 8400, 1575, 495), kMediumPt - 1);
  connect(readAll, &QPushButton::clicked, this, &MainWindow::cmd_readall_Click);
  connect(writeAll, &QPushButton::clicked, this, &MainWindow::cmd_writeall_Click);
}

void MainWindow::BuildWindowControls(QWidget* client) {
  const QFont medium = DesignFont(kMediumPt);
  lbl_st_flt_ = AddLabel(client, "lbl_st_flt", "ST_FLT", Twips(4560, 1200, 2295, 255));
  AddLabel(client, "lblc_sw_ver", "Версия ПО:", Twips(16320, 1800, 1335, 255), medium, kRight);
  lbl_sw_ver_ = AddLabel(client, "lbl_sw_ver", "-", Twips(16440, 2160, 1335, 255), medium, kCentre);
  AddLabel(client, "lblc_pr_ver", "Версия протокола:", Twips(16080, 2640, 1935, 255), medium,
           kRight);
  lbl_pr_ver_ = AddLabel(client, "lbl_pr_ver", "-", Twips(16440, 3000, 1335, 255), medium, kCentre);

  // Line4 runs from (240, 9120) to (13680, 9120) and sets the status row apart.
  auto* line =
      Place(new QFrame(client), "Line4", Twips(240, 9120 - 15, 13440, 45), DesignFont(kDefaultPt));
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);

  auto* sladCaption = AddLabel(client, "lblc_slad", "Адрес устройства",
                               Twips(360, 9240, 2055, 255), medium, kRight);
  cmb_slad_ =
      Place(new QComboBox(client), "cmb_slad", Twips(2640, 9240, 855, 315), DesignFont(kDefaultPt));
  cmb_slad_->setEditable(false);
  CentreBeside(sladCaption, cmb_slad_);
  // The status line shows every message whole, however many notes follow it.
  lbl_sys_mes_ = AddLabel<FittingLabel>(client, "lbl_sys_mes", "", Twips(3720, 9240, 7080, 315),
                          DesignFont(kDefaultPt), Qt::AlignLeft | Qt::AlignVCenter);
  lbl_sys_mes_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  // Kept for the exchange to write into; never shown.
  lbl_dbg_ = AddLabel(client, "lbl_dbg", "debug", Twips(14640, 8760, 1695, 375));
  auto* trCaption = AddLabel(client, "lblc_tr_id",
                             "Код транзакции:", Twips(13320, 9360, 1695, 255), medium, kRight);
  lbl_tr_id_ = AddLabel(client, "lbl_tr_id", "-", Twips(15120, 9360, 1095, 255), medium);
  auto* dbgBox = Place(new QPlainTextEdit(Utf8("Text1"), client), "txt_dbg",
                       Twips(16920, 8760, 735, 495), DesignFont(kDefaultPt));
  dbgBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  for (QWidget* hidden : std::array<QWidget*, 4>{lbl_dbg_, trCaption, lbl_tr_id_, dbgBox}) {
    hidden->hide();
  }
}

void MainWindow::CreateDiscreteInputs() {
  const QRect first = lbl_eds_[0]->geometry();
  for (int i = 1; i < kDiscreteCount; ++i) {
    if (lbl_eds_[i]) continue;
    const QRect place(first.left() + (i % 16) * first.width(),
                      first.top() + (i / 16) * first.height(), first.width(), first.height());
    lbl_eds_[i] = NewInputIndicator(frm_eds_, i, place);
    lbl_eds_[i]->show();
  }
}

void MainWindow::CreateDiscreteOutputs() {
  const QRect first = chk_out_[0]->geometry();
  for (int i = 1; i < kDiscreteCount; ++i) {
    if (chk_out_[i]) continue;
    const QRect place(first.left() + (i % 8) * first.width(),
                      first.top() + (i / 8) * first.height(), first.width(), first.height());
    chk_out_[i] = NewOutputBox(frm_dsout_, i, place);
    chk_out_[i]->show();
  }
}

void MainWindow::FillSlaveAddresses() {
  cmb_slad_->clear();
  for (int address = 0; address <= 127; ++address) cmb_slad_->addItem(QString::number(address));
  cmb_slad_->setCurrentIndex(7);
}

QWidget* MainWindow::Widget(ControlRef ref) const {
  switch (ref.control) {
    case Control::lbl_sys_mes: return Single(lbl_sys_mes_, ref);
    case Control::lbl_dbg: return Single(lbl_dbg_, ref);
    case Control::lbl_tr_id: return Single(lbl_tr_id_, ref);
    case Control::lbl_eds: return ArrayElement(lbl_eds_, ref);
    case Control::chk_out: return ArrayElement(chk_out_, ref);
    case Control::opt_view: return ArrayElement(opt_view_, ref);
    case Control::lbl_u: return ArrayElement(lbl_u_, ref);
    case Control::lbl_pr_ver: return Single(lbl_pr_ver_, ref);
    case Control::lbl_sw_ver: return Single(lbl_sw_ver_, ref);
    case Control::lbl_ds18b20: return Single(lbl_ds18b20_, ref);
    case Control::lbl_shaft: return Single(lbl_shaft_, ref);
    case Control::lbl_prop: return Single(lbl_prop_, ref);
    case Control::lbl_dir: return Single(lbl_dir_, ref);
    case Control::lbl_st_flt: return Single(lbl_st_flt_, ref);
    case Control::lbl_row: return ArrayElement(lbl_row_, ref);
    case Control::frm_ain: return Single(frm_ain_, ref);
    case Control::txt_dac: return ArrayElement(txt_dac_, ref);
    case Control::txt_par: return ArrayElement(txt_par_, ref);
  }
  throw std::out_of_range("unknown control #" + std::to_string(static_cast<int>(ref.control)));
}

QString MainWindow::Text(ControlRef ref) const {
  QWidget* widget = Widget(ref);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
  if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  throw std::invalid_argument("control has no text");
}

void MainWindow::SetText(ControlRef ref, const QString& text) {
  QWidget* widget = Widget(ref);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* box = qobject_cast<QLineEdit*>(widget)) {
    box->setText(text);
  } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
    frame->setTitle(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text);
  } else {
    throw std::invalid_argument("control has no text");
  }
}

void MainWindow::SetBackColor(ControlRef ref, std::uint32_t rgb) {
  QWidget* widget = Widget(ref);
  // A text box paints its field in Base; anything else paints Window when it fills its background.
  SetColor(widget, qobject_cast<QLineEdit*>(widget) ? QPalette::Base : QPalette::Window, rgb);
}

bool MainWindow::IsChecked(ControlRef ref) const {
  auto* button = qobject_cast<QAbstractButton*>(Widget(ref));
  if (!button || !button->isCheckable()) throw std::invalid_argument("control has no check state");
  return button->isChecked();
}

void MainWindow::SetChecked(ControlRef ref, bool checked) {
  auto* button = qobject_cast<QAbstractButton*>(Widget(ref));
  if (!button || !button->isCheckable()) throw std::invalid_argument("control has no check state");
  if (checked || !button->autoExclusive()) {
    button->setChecked(checked);  // selecting an option raises toggled, hence opt_view_Click
    return;
  }
  // An exclusive option refuses to be cleared directly.
  button->setAutoExclusive(false);
  button->setChecked(false);
  button->setAutoExclusive(true);
}

void MainWindow::SetOpaque(ControlRef ref, bool opaque) {
  Widget(ref)->setAutoFillBackground(opaque);
}

void MainWindow::RepaintNow(ControlRef control) { Widget(control)->repaint(); }

void MainWindow::SetCaption(const QString& caption) { setWindowTitle(caption); }

int MainWindow::SlaveAddress() const { return cmb_slad_->currentIndex(); }

bool MainWindow::SelectSlaveAddress(int address) {
  if (address < 0 || address >= cmb_slad_->count()) return false;
  cmb_slad_->setCurrentIndex(address);
  return true;
}

}  // namespace torvex
