#pragma once
// The main window as the exchange writes into it, at a pace the eye can follow. Polling fast,
// answers come faster than anyone reads labels, and redrawing them for each would cost more
// than the whole exchange. While paced, what is written is kept, the newest value of each
// control's text, colour, check and opacity and of the caption, and handed to the window at
// Flush, which the tool calls at a fixed rate; unpaced, everything passes at once. Reading a
// control gives what was last written to it, handed over or not.
#include <cstdint>
#include <map>
#include <optional>

#include "view/main_view.h"

namespace torvex {

class PacedView : public MainView {
 public:
  explicit PacedView(MainView& window) : window_(window) {}

  // Turning pacing off hands over what was kept.
  void SetPaced(bool paced);
  bool Paced() const { return paced_; }
  bool Pending() const { return !pending_.empty() || caption_.has_value(); }
  // Hands everything kept to the window.
  void Flush();

  QString Text(ControlRef control) const override;
  void SetText(ControlRef control, const QString& text) override;
  void SetBackColor(ControlRef control, std::uint32_t rgb) override;
  bool IsChecked(ControlRef control) const override;
  void SetChecked(ControlRef control, bool checked) override;
  void SetOpaque(ControlRef control, bool opaque) override;
  // Paints at once: what was kept goes first.
  void RepaintNow(ControlRef control) override;
  void SetCaption(const QString& caption) override;
  int SlaveAddress() const override { return window_.SlaveAddress(); }

 private:
  enum class Property { kText, kBackColor, kChecked, kOpaque };
  struct Key {
    Property property;
    Control control;
    int index;
    auto operator<=>(const Key&) const = default;
  };
  struct Value {
    QString text;
    std::uint32_t number = 0;
  };

  static Key KeyOf(Property property, ControlRef control) {
    return {property, control.control, control.index};
  }
  const Value* Kept(Property property, ControlRef control) const;
  void Keep(Property property, ControlRef control, Value value);

  MainView& window_;
  bool paced_ = false;
  std::map<Key, Value> pending_;
  std::optional<QString> caption_;
};

}  // namespace torvex
