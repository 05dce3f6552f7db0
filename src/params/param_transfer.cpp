#include "params/param_transfer.h"

#include <algorithm>
#include <vector>

#include "decode/numeric.h"
#include "modbus/expected_answer.h"
#include "modbus/requests.h"
#include "params/param_blocks.h"

namespace torvex {
namespace {

constexpr std::uint8_t kMaxReadBytes = 40;
constexpr std::uint8_t kMaxWriteWidth = 4;
constexpr int kAnswerHeader = modbus::kEepromAnswerHeader;
constexpr int kCrcBytes = modbus::kCrcSize;
constexpr int kShownDecimals = 2;

ControlRef Box(int index) { return {Control::txt_par, index}; }

// Appends the width low bytes of value, most significant first.
void AppendBytes(std::vector<std::uint8_t>& bytes, std::int32_t value, int width) {
  for (int b = width - 1; b >= 0; --b) bytes.push_back(static_cast<std::uint8_t>(GetByte(value, b)));
}

}  // namespace

ParamTransfer::ParamTransfer(ModbusEngine& engine, MainView& view)
    : engine_(engine), view_(view) {
  torvex::InitParamTable(paramTable_);
}

void ParamTransfer::InitParamTable() { torvex::InitParamTable(paramTable_); }

const ParamEntry& ParamTransfer::Entry(int index) const {
  return paramTable_.at(static_cast<std::size_t>(index));
}

std::int32_t ParamTransfer::BoxRaw(int index) const {
  const ParamEntry& entry = Entry(index);
  const RawBounds bounds = RawBoundsForWidth(entry.width);
  return TextToRaw(model_.Text(index), bounds.min, bounds.max, entry.scale);
}

bool ParamTransfer::QueueParamRead(std::uint16_t address, std::uint8_t count) {
  return engine_.QueueRequest(modbus::ReadEeprom(address, std::min(count, kMaxReadBytes)));
}

bool ParamTransfer::QueueParamWrite(std::uint16_t address, std::int32_t value,
                                    std::uint8_t width) {
  std::vector<std::uint8_t> bytes;
  AppendBytes(bytes, value, std::min(width, kMaxWriteWidth));
  return engine_.QueueRequest(modbus::WriteEeprom(address, bytes));
}

bool ParamTransfer::ReadAllParams() {
  for (const ParamBlock& block : ParamBlocks(paramTable_, BlockUse::Read)) {
    if (!QueueParamRead(Entry(block.first).address, static_cast<std::uint8_t>(block.bytes))) {
      return false;
    }
  }
  return true;
}

bool ParamTransfer::WriteAllParams() {
  for (const ParamBlock& block : ParamBlocks(paramTable_, BlockUse::Write)) {
    std::vector<std::uint8_t> bytes;
    for (int i = block.first; i < block.first + block.entries; ++i) {
      AppendBytes(bytes, BoxRaw(i), Entry(i).width);
    }
    if (!engine_.QueueRequest(modbus::WriteEeprom(Entry(block.first).address, bytes))) {
      return false;
    }
  }
  const ParamEntry& slave = Entry(kSlaveAddressParam);
  return QueueParamWrite(slave.address, BoxRaw(kSlaveAddressParam), slave.width);
}

// The box awaits the operator's Enter or an answer.
void ParamTransfer::ShowChanged(int index) {
  model_.SetState(index, BoxState::kChanged);
  view_.SetBackColor(Box(index), kWhite);
}

void ParamTransfer::WhitenAllBoxes() {
  for (int i = 0; i < kParamCount; ++i) ShowChanged(i);
}

void ParamTransfer::cmd_readall_Click() {
  WhitenAllBoxes();
  ReadAllParams();
}

void ParamTransfer::cmd_writeall_Click() {
  WhitenAllBoxes();
  WriteAllParams();
}

void ParamTransfer::txt_par_Change(int index) {
  // The program's own change already holds its text.
  const QString text = view_.Text(Box(index));
  if (text != model_.Text(index)) model_.SetText(index, text);
  ShowChanged(index);
}

void ParamTransfer::txt_par_KeyPress(int index) {
  const ParamEntry& entry = Entry(index);
  ShowChanged(index);
  QueueParamWrite(entry.address, BoxRaw(index), entry.width);
}

std::vector<int> ParamTransfer::ShowSet(const paramfile::ParamImage& set) {
  std::vector<int> changed;
  for (int k = 0; k < kParamCount; ++k) {
    const std::int32_t raw = paramfile::Raw(set, k);
    if (model_.State(k) == BoxState::kConfirmed && BoxRaw(k) == raw) continue;
    const QString text = FormatReading(raw, kShownDecimals, Entry(k).scale, QString());
    model_.SetText(k, text);
    view_.SetText(Box(k), text);
    ShowChanged(k);
    changed.push_back(k);
  }
  return changed;
}

void ParamTransfer::MarkChanged(const std::vector<int>& indices) {
  for (const int k : indices) ShowChanged(k);
}

void ParamTransfer::DecodeParamAnswer(const RxAnswer& answer) {
  const int received = std::min(answer.count, static_cast<int>(answer.cells.size()));
  // Data bytes that really arrived: after the header, before the CRC.
  const int arrived = received - kAnswerHeader - kCrcBytes;
  if (arrived < 0) return;  // too short to name a start address and a count

  const int start = RxWord(answer.cells, 2);
  int k = -1;
  for (int i = 0; i < kParamCount; ++i) {
    if (Entry(i).address == start) k = i;
  }
  if (k < 0) return;  // not the first byte of a parameter

  // The count byte is believed only as far as the bytes it claims are here.
  int remaining = std::min(RxInteger(answer.cells, 4, 1), arrived);
  int pos = kAnswerHeader;
  for (; k < kParamCount; ++k) {
    const ParamEntry& entry = Entry(k);
    if (remaining < entry.width) break;  // ends inside this parameter, or no data left
    const int raw = RxInteger(answer.cells, pos, entry.width);
    // The text first: the box's own Change marks it changed, and the answer then confirms it
    // and paints it green.
    const QString text = FormatReading(raw, kShownDecimals, entry.scale, QString());
    model_.SetText(k, text);
    view_.SetText(Box(k), text);
    model_.SetState(k, BoxState::kConfirmed);
    view_.SetBackColor(Box(k), kGreen);
    pos += entry.width;
    remaining -= entry.width;
  }
}

}  // namespace torvex
