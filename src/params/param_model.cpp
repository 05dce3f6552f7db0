#include "params/param_model.h"

namespace torvex {
namespace {

// The boxes of the sensor types: AIN1 channels 0-15 in boxes 8-23, AIN2 channels 0-15 (channels
// 16-31) in boxes 32-47.
constexpr int kAin1TypeBox = 8;
constexpr int kAin2TypeBox = 32;
constexpr int kChannelsPerGroup = kAnalogChannels / 2;

// The channel whose sensor type the box holds; -1 for the other boxes.
int ChannelOfBox(int index) {
  if (index >= kAin1TypeBox && index < kAin1TypeBox + kChannelsPerGroup) {
    return index - kAin1TypeBox;
  }
  if (index >= kAin2TypeBox && index < kAin2TypeBox + kChannelsPerGroup) {
    return index - kAin2TypeBox + kChannelsPerGroup;
  }
  return -1;
}

}  // namespace

ParamModel::ParamModel() { texts_.fill(QStringLiteral("-")); }

void ParamModel::SetText(int index, const QString& text) {
  texts_.at(static_cast<std::size_t>(index)) = text;
  if (const int channel = ChannelOfBox(index); channel >= 0) {
    types_.at(static_cast<std::size_t>(channel)) = SensorTypeFromText(text);
  }
}

}  // namespace torvex
