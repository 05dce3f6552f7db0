#pragma once
// Turns one valid answer of the controller into what the main window shows.
#include <functional>

#include "decode/readings.h"
#include "engine/rx_buffer.h"
#include "view/main_view.h"

namespace torvex {

// Receives the answers of function 100 and 101 (EEPROM parameter reads and writes).
using ParamAnswerHandler = std::function<void(const RxAnswer&)>;

// Routes an answer whose CRC matched by its function code and, for function 3, by the block
// its request read: the discrete outputs read-back, the status block, or the converter block
// (shown only in the converter view). Exception answers (told in the status line with the
// exchange's outcome) and other functions show nothing. Only what the answer really carries
// is shown: registers within both its byte count and its received cells, before the two CRC
// cells. The channels are shown by their sensor types as the parameters set them now, sent to
// the controller or not. onParamAnswer may be empty.
void DecodeResponse(const RxAnswer& answer, MainView& view, const ChannelTypes& types,
                    const ParamAnswerHandler& onParamAnswer);

}  // namespace torvex
