#pragma once
// Turns a decoded answer into a value sample, beside DecodeResponse and from the same cells.
#include <optional>

#include "engine/rx_buffer.h"
#include "record/sample.h"
#include "view/main_view.h"

namespace torvex::record {

// A sample from a whole answer to the status block's read or to the converter block's read
// (all 64 readings); none for any other answer or one that lacks registers. The sensor types are read from the window's parameter boxes as the decoder
// reads them, so a sample's units are the ones the window shows. `time` in ms since the epoch.
std::optional<Sample> SampleFromAnswer(const RxAnswer& answer, const MainView& view,
                                       std::int64_t time);

}  // namespace torvex::record
