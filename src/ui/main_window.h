#pragma once
// The operator's window, frm_main: every panel, display and control of the tool, placed as
// designed. The core writes and reads it through MainView; operator actions leave it as
// signals named after the control and event. Control arrays are elements that share one
// objectName and carry their position in the dynamic property "index".
#include <array>

#include <QMainWindow>

#include "view/main_view.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace torvex {

class MainWindow : public QMainWindow, public MainView {
  Q_OBJECT
 public:
  static constexpr int kDiscreteCount = 32;

  explicit MainWindow(QWidget* parent = nullptr);

  // Start-up steps that complete the design state. The design holds element 0 of lbl_eds and
  // chk_out only; these add elements 1-31 as copies of element 0, abutting, captioned "2" to
  // "32". Calling one again adds nothing.
  void CreateDiscreteInputs();   // 2 rows of 16, background shown, visible
  void CreateDiscreteOutputs();  // 4 rows of 8, unchecked, visible
  // Fills cmb_slad with "0" to "127", so that an entry's position is its address, and selects 7.
  void FillSlaveAddresses();

  // MainView. A reference to a single control must carry index -1, one to an array element an
  // index of an existing element; anything else throws std::out_of_range. A control of a kind
  // without the property asked for (IsChecked of a label) throws std::invalid_argument.
  QString Text(ControlRef control) const override;
  void SetText(ControlRef control, const QString& text) override;
  void SetBackColor(ControlRef control, std::uint32_t rgb) override;
  bool IsChecked(ControlRef control) const override;
  // Selecting an opt_view element raises opt_view_Click as an operator's click does.
  // Clearing one leaves the pair without a selection and raises nothing.
  void SetChecked(ControlRef control, bool checked) override;
  void SetOpaque(ControlRef control, bool opaque) override;
  void RepaintNow(ControlRef control) override;
  void SetCaption(const QString& caption) override;
  int SlaveAddress() const override;  // -1 until FillSlaveAddresses has run
  // Selects `address` in cmb_slad; false when it holds no such entry (above 127).
  bool SelectSlaveAddress(int address);

 signals:
  void cmd_read_Click();
  void cmd_set_Click();
  void opt_view_Click(int index);    // the element has become selected
  void txt_dac_KeyPress(int index);  // Enter
  void txt_par_Change(int index);    // text changed, by the operator or the program
  void txt_par_KeyPress(int index);  // Enter
  void cmd_readall_Click();
  void cmd_writeall_Click();
  void mnu_settings_Click();
  void mnu_monitor_Click();
  void mnu_search_Click();

 private:
  void BuildShaftPanel(QWidget* client);
  void BuildTemperaturePanel(QWidget* client);
  void BuildOutputsPanel(QWidget* client);
  void BuildInputsPanel(QWidget* client);
  void BuildAnalogOutputsPanel(QWidget* client);
  void BuildViewPanel(QWidget* client);
  void BuildAnalogInputsPanel(QWidget* client);
  void BuildParameterArea(QWidget* client);
  void BuildWindowControls(QWidget* client);

  QWidget* Widget(ControlRef control) const;

  QLabel* lbl_sys_mes_ = nullptr;
  QLabel* lbl_dbg_ = nullptr;
  QLabel* lbl_tr_id_ = nullptr;
  QLabel* lbl_pr_ver_ = nullptr;
  QLabel* lbl_sw_ver_ = nullptr;
  QLabel* lbl_ds18b20_ = nullptr;
  QLabel* lbl_shaft_ = nullptr;
  QLabel* lbl_prop_ = nullptr;
  QLabel* lbl_dir_ = nullptr;
  QLabel* lbl_st_flt_ = nullptr;
  QGroupBox* frm_eds_ = nullptr;
  QGroupBox* frm_dsout_ = nullptr;
  QGroupBox* frm_ain_ = nullptr;
  QComboBox* cmb_slad_ = nullptr;

  // Elements not created yet are null.
  std::array<QLabel*, kDiscreteCount> lbl_eds_{};
  std::array<QCheckBox*, kDiscreteCount> chk_out_{};
  std::array<QRadioButton*, 2> opt_view_{};
  std::array<QLabel*, 2> Label1_{};
  std::array<QLineEdit*, 8> txt_dac_{};
  std::array<QLabel*, 4> lbl_row_{};
  std::array<QLabel*, 64> lbl_u_{};
  std::array<QLabel*, 23> lblc_par_{};
  std::array<QLineEdit*, 49> txt_par_{};
};

}  // namespace torvex
