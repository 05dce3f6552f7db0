#pragma once
// Turns a decoded answer into a value sample, beside DecodeResponse and from the same cells.
#include <optional>

#include "decode/readings.h"
#include "engine/rx_buffer.h"
#include "record/sample.h"

namespace torvex::record {

// A sample from a whole answer to the status block's read or to the converter block's read
// (all 64 readings); none for any other answer or one that lacks registers. The sensor types are the ones the window shows the answer with, so a sample's
// units are the window's. `time` in ms since the epoch.
std::optional<Sample> SampleFromAnswer(const RxAnswer& answer, const ChannelTypes& types,
                                       std::int64_t time);

}  // namespace torvex::record
