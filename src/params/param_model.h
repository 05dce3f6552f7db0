#pragma once
// The controller's 49 parameters as the operator and the controller last left them: each box's
// text, as typed or as an answer set it, and whether the controller has confirmed it since.
// The window's parameter boxes show it; the transfer writes from it, and the display rules and
// the recording take the channels' sensor types from it.
#include <array>

#include <QString>

#include "decode/readings.h"
#include "params/param_table.h"

namespace torvex {

enum class BoxState {
  kChanged,    // typed by the operator, or a transfer was asked and no answer came since (white)
  kConfirmed,  // set from an answer of the controller and unchanged since (green)
};

class ParamModel {
 public:
  // Every box as the window starts: "-", not confirmed.
  ParamModel();

  const QString& Text(int index) const { return texts_.at(static_cast<std::size_t>(index)); }
  BoxState State(int index) const { return states_.at(static_cast<std::size_t>(index)); }
  // The box's new text, typed or from an answer; its state is set apart.
  void SetText(int index, const QString& text);
  void SetState(int index, BoxState state) { states_.at(static_cast<std::size_t>(index)) = state; }

  // Each channel's sensor type as its box reads now, sent to the controller or not.
  const ChannelTypes& SensorTypes() const { return types_; }

 private:
  std::array<QString, kParamCount> texts_;
  std::array<BoxState, kParamCount> states_{};
  ChannelTypes types_{};
};

}  // namespace torvex
