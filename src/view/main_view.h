#pragma once
// What the core (engine, decoders, parameters, configuration) may read from and write into
// the main window. The window implements it; tests use a fake. Controls are named as in the
// window, so `Control::lbl_sys_mes` is the widget whose objectName is "lbl_sys_mes".
#include <cstdint>

#include <QString>

namespace torvex {

enum class Control {
  lbl_sys_mes,  // status line
  lbl_dbg,      // hidden: exchange-error count
  lbl_tr_id,    // hidden: transaction code
  lbl_eds,      // discrete inputs, 0-31
  chk_out,      // discrete outputs, 0-31
  opt_view,     // view mode, 0 converter inputs, 1 measuring channels
  lbl_u,        // analog grid, 0-63
  lbl_pr_ver,
  lbl_sw_ver,
  lbl_ds18b20,
  lbl_shaft,
  lbl_prop,
  lbl_dir,
  lbl_st_flt,
  lbl_row,  // grid row captions, 0-3
  frm_ain,  // frame caption of the analog grid
  txt_dac,  // analog outputs, 0-7
  txt_par,  // controller parameters, 0-48
};

// One control, or one element of a control array (index >= 0).
struct ControlRef {
  Control control;
  int index = -1;
  friend bool operator==(const ControlRef&, const ControlRef&) = default;
};

inline constexpr std::uint32_t kGreen = 0x00FF00;
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kRed = 0xFF0000;

class MainView {
 public:
  virtual ~MainView() = default;

  // Text of a label, text box or frame caption.
  virtual QString Text(ControlRef control) const = 0;
  virtual void SetText(ControlRef control, const QString& text) = 0;
  // Background colour as 0xRRGGBB.
  virtual void SetBackColor(ControlRef control, std::uint32_t rgb) = 0;
  // Check state of a check box, or selection of an option button.
  virtual bool IsChecked(ControlRef control) const = 0;
  virtual void SetChecked(ControlRef control, bool checked) = 0;
  // Whether a label shows its own background colour (true) or the frame's (false).
  virtual void SetOpaque(ControlRef control, bool opaque) = 0;
  // Paints a control now, without waiting for the event loop (progress texts written just
  // before blocking file work).
  virtual void RepaintNow(ControlRef) {}
  // Title of the main window.
  virtual void SetCaption(const QString& caption) = 0;
  // Slave address: the selected position of cmb_slad (0-127).
  virtual int SlaveAddress() const = 0;
};

}  // namespace torvex
