#pragma once
// A main window without widgets: remembers every text and colour the core writes. It is its own
// status line too, writing a message as the window's presenter does.
#include <map>
#include <utility>

#include "support/qt_printers.h"
#include "view/main_view.h"
#include "view/status_line.h"

namespace torvex::test {

class FakeView : public MainView, public StatusLine {
 public:
  void ShowMessage(const QString& text) override {
    SetText({Control::lbl_sys_mes}, text);
    RepaintNow({Control::lbl_sys_mes});
  }
  QString Text(ControlRef c) const override {
    auto it = texts.find(Key(c));
    return it == texts.end() ? QString() : it->second;
  }
  void SetText(ControlRef c, const QString& text) override {
    texts[Key(c)] = text;
    ++writes;
  }
  void SetBackColor(ControlRef c, std::uint32_t rgb) override { colors[Key(c)] = rgb; }
  bool IsChecked(ControlRef c) const override { return checked.contains(Key(c)) && checked.at(Key(c)); }
  void SetChecked(ControlRef c, bool on) override { checked[Key(c)] = on; }
  void SetOpaque(ControlRef c, bool on) override { opaque[Key(c)] = on; }
  void SetCaption(const QString& text) override { caption = text; }
  int SlaveAddress() const override { return slaveAddress; }

  std::uint32_t Color(ControlRef c) const {
    auto it = colors.find(Key(c));
    return it == colors.end() ? 0xFFFFFFFFu : it->second;
  }

  using KeyT = std::pair<int, int>;
  static KeyT Key(ControlRef c) { return {static_cast<int>(c.control), c.index}; }

  std::map<KeyT, QString> texts;
  std::map<KeyT, std::uint32_t> colors;
  std::map<KeyT, bool> checked;
  std::map<KeyT, bool> opaque;
  QString caption;
  int slaveAddress = 7;
  int writes = 0;
};

}  // namespace torvex::test
