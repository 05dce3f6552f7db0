#pragma once
// The operator's commands on the controller's outputs and on the view mode. Each output
// command only queues one request; the exchange tick sends it.
#include "engine/modbus_engine.h"
#include "view/main_view.h"

namespace torvex {

// cmd_read: read back the 32 discrete outputs (the answer ticks chk_out).
void QueueOutputsRead(ModbusEngine& engine);
// cmd_set: write the 32 chk_out boxes as one 32-bit word.
void QueueOutputsWrite(ModbusEngine& engine, const MainView& view);
// Enter in txt_dac(k): one analog output, 0-3 as 4-20 mA, 4-7 as 0-10 V.
void QueueAnalogOutput(ModbusEngine& engine, const MainView& view, int k);
// opt_view(index) selected: captions of the analog grid for that view.
void ShowViewMode(MainView& view, int index);

}  // namespace torvex
