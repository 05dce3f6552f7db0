#pragma once
// Moves the controller's EEPROM parameters between the controller and the parameter model
// (function 100 reads, 101 writes), and shows the model in the boxes txt_par: each box's
// colour stays honest, white while its text is the operator's or awaits an answer, green once
// an answer of the controller set it. What the operator types reaches the model through the
// boxes' Change event.
#include <cstdint>
#include <vector>

#include "engine/modbus_engine.h"
#include "engine/rx_buffer.h"
#include "paramfile/param_layout.h"
#include "params/param_model.h"
#include "params/param_table.h"
#include "view/main_view.h"

namespace torvex {

class ParamTransfer {
 public:
  // The table is filled here already, so no handler can ever see an empty one.
  ParamTransfer(ModbusEngine& engine, MainView& view);

  // Start-up calls it on every path before the window is usable; refilling is harmless.
  void InitParamTable();
  const ParamTable& Table() const { return paramTable_; }
  // The 49 values and their state, as the boxes show them.
  const ParamModel& Model() const { return model_; }

  // Each queues one request behind those pending and says whether the ring took it (a full
  // ring refuses, and the engine reports that in the status line).
  // Reads count bytes (at most 40) from address on.
  bool QueueParamRead(std::uint16_t address, std::uint8_t count);
  // Writes the width (at most 4) low bytes of value, most significant first.
  bool QueueParamWrite(std::uint16_t address, std::int32_t value, std::uint8_t width);

  // The whole table in three block reads. False if the ring refused a block; the blocks
  // after it are then not queued.
  bool ReadAllParams();
  // The whole table from the boxes' texts as they are now (the model's), in three blocks and then the
  // controller's slave address alone. A refusal stops the rest, so the slave address is
  // never written when anything before it was dropped.
  bool WriteAllParams();

  // Window events.
  void cmd_readall_Click();
  void cmd_writeall_Click();
  // Any change of the box's text, the program's own included: the model takes the text.
  void txt_par_Change(int index);
  // Enter in box index: sends the box's value, clamped to the entry's raw range.
  void txt_par_KeyPress(int index);

  // Fills the boxes with a set (a file's) without sending anything: a box that holds the
  // controller's confirmed value keeps it, green, when the set's is the same; every other box
  // takes the set's value and shows it changed, for the operator to write (Enter, or
  // cmd_writeall). Returns the boxes changed.
  std::vector<int> ShowSet(const paramfile::ParamImage& set);
  // Shows the boxes as changed: their text is not what the controller holds.
  void MarkChanged(const std::vector<int>& indices);

  // A valid answer with function code 100 or 101. Refreshes, from the answer's start
  // address on, only the parameters whose bytes are all in this answer.
  void DecodeParamAnswer(const RxAnswer& answer);

 private:
  const ParamEntry& Entry(int index) const;
  std::int32_t BoxRaw(int index) const;
  void WhitenAllBoxes();
  void ShowChanged(int index);

  ModbusEngine& engine_;
  MainView& view_;
  ParamTable paramTable_{};
  ParamModel model_;
};

}  // namespace torvex
