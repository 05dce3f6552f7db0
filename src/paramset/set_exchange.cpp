#include "paramset/set_exchange.h"

#include <algorithm>

#include "decode/register_map.h"
#include "modbus/adu.h"
#include "modbus/answer_length.h"
#include "modbus/requests.h"
#include "params/param_blocks.h"
#include "params/param_table.h"

namespace torvex::paramset {
namespace {

constexpr int kHeader = static_cast<int>(modbus::kEepromAnswerHeader);
constexpr int kCrc = static_cast<int>(modbus::kCrcSize);
// A write request's data: start address (2 bytes), count, then the bytes.
constexpr std::size_t kWriteDataFrom = 3;
// The two version registers follow each other: protocol, then software.
static_assert(reg::kSoftwareVersion == reg::kProtocolVersion + 1);
constexpr int kFunction3Data = 3;  // address, function, byte count

ParamTable Table() {
  ParamTable table{};
  InitParamTable(table);
  return table;
}

}  // namespace

SetExchange SetExchange::Read(int address) {
  SetExchange run(address);
  const ParamTable table = Table();
  for (const ParamBlock& block : ParamBlocks(table, BlockUse::Read)) {
    run.steps_.push_back({Kind::kReadBlock,
                          modbus::ReadEeprom(table[block.first].address,
                                             static_cast<std::uint8_t>(block.bytes)),
                          block.first, block.first + block.entries - 1});
  }
  run.steps_.push_back(
      {Kind::kReadVersions, modbus::ReadHoldingRegisters(reg::kProtocolVersion, 2)});
  return run;
}

SetExchange SetExchange::Write(const ParamImage& image, int address) {
  SetExchange run(address);
  const ParamTable table = Table();
  auto write = [&](Kind kind, int first, int entries, int bytes) {
    const std::uint16_t start = table[first].address;
    const std::span<const std::uint8_t> data(image.data() + start, static_cast<std::size_t>(bytes));
    run.steps_.push_back({kind, modbus::WriteEeprom(start, data), first, first + entries - 1});
  };
  for (const ParamBlock& block : ParamBlocks(table, BlockUse::Write)) {
    write(Kind::kWriteBlock, block.first, block.entries, block.bytes);
  }
  write(Kind::kWriteAddress, kSlaveAddressParam, 1, table[kSlaveAddressParam].width);
  const SetExchange reading = Read(address);
  std::copy_if(reading.steps_.begin(), reading.steps_.end(), std::back_inserter(run.steps_),
               [](const Step& step) { return step.kind == Kind::kReadBlock; });
  const int newAddress = image[table[kSlaveAddressParam].address];
  if (newAddress != address) run.newAddress_ = newAddress;
  return run;
}

void SetExchange::Start(ModbusEngine& engine) {
  engine_ = &engine;
  QueueStep();
}

void SetExchange::QueueStep() {
  if (step_ == StepCount()) {
    Finish();
    return;
  }
  if (!engine_->QueueRequest(steps_[static_cast<std::size_t>(step_)].request)) {
    end_ = SetEnd::kQueueFull;
    return;
  }
  waitingFor_ = engine_->Queue().Committed();
  failures_ = 0;
}

void SetExchange::Next() {
  ++step_;
  QueueStep();
}

void SetExchange::Finish() {
  end_ = SetEnd::kDone;
  controller_ = read_;
}

void SetExchange::OnAnswer(const RxAnswer& answer) {
  if (!Running() || waitingFor_ == 0 || answer.serial != waitingFor_) return;
  waitingFor_ = 0;
  const Step& step = steps_.at(static_cast<std::size_t>(step_));
  if (IsExceptionAnswer(answer)) {
    const Refusal refusal{step.first, step.last, answer.cells[2]};
    switch (step.kind) {
      case Kind::kWriteBlock:
      case Kind::kWriteAddress:
        refused_ = refusal;
        SkipWrites();
        break;
      case Kind::kReadBlock:
        refused_ = refusal;
        end_ = SetEnd::kReadRefused;
        return;
      case Kind::kReadVersions:
        break;  // the versions stay unknown; the set is complete without them
    }
  } else if (step.kind == Kind::kReadVersions) {
    protocolVersion_ = answer.cells[kFunction3Data] << 8 | answer.cells[kFunction3Data + 1];
    softwareVersion_ = answer.cells[kFunction3Data + 2] << 8 | answer.cells[kFunction3Data + 3];
  } else if (step.kind == Kind::kReadBlock) {
    TakeReadAnswer(step, answer);
  } else {
    TakeWriteAnswer(step, answer);
  }
  if (interrupted_) {
    ++step_;
    end_ = SetEnd::kInterrupted;
    return;
  }
  Next();
}

void SetExchange::Interrupt() {
  if (!Running()) return;
  const Kind kind = steps_.at(static_cast<std::size_t>(step_)).kind;
  const bool writing = kind == Kind::kWriteBlock || kind == Kind::kWriteAddress;
  if (writing && waitingFor_ != 0 && !interrupted_) {
    interrupted_ = true;  // its answer ends the run
    return;
  }
  interrupted_ = true;
  end_ = SetEnd::kInterrupted;
}

std::optional<ParamSpan> SetExchange::Unanswered() const {
  if (Running() || waitingFor_ == 0 || step_ >= StepCount()) return std::nullopt;
  const Step& step = steps_.at(static_cast<std::size_t>(step_));
  if (step.kind != Kind::kWriteBlock && step.kind != Kind::kWriteAddress) return std::nullopt;
  return ParamSpan{step.first, step.last};
}

bool SetExchange::WritesDone() const {
  for (int i = step_; i < StepCount(); ++i) {
    const Kind kind = steps_.at(static_cast<std::size_t>(i)).kind;
    if (kind == Kind::kWriteBlock || kind == Kind::kWriteAddress) return false;
  }
  return true;
}

// The controller answers a write with the bytes it now holds: a parameter counts as written
// only when they are the bytes sent.
void SetExchange::TakeWriteAnswer(const Step& step, const RxAnswer& answer) {
  const std::vector<std::uint8_t>& sent = step.request.Data();
  const int start = step.request.Data()[0] << 8 | step.request.Data()[1];
  const int echoed = std::min(answer.cells[4], answer.count - kHeader - kCrc);
  for (int i = step.first; i <= step.last; ++i) {
    const paramfile::ParamSpot spot = paramfile::Spot(i);
    bool same = spot.address - start + spot.width <= echoed;
    for (int b = 0; same && b < spot.width; ++b) {
      const std::size_t at = static_cast<std::size_t>(spot.address - start + b);
      same = answer.cells.at(static_cast<std::size_t>(kHeader) + at) == sent.at(kWriteDataFrom + at);
    }
    if (same) ++confirmed_;
  }
  if (step.kind == Kind::kWriteAddress && newAddress_) address_ = *newAddress_;
}

void SetExchange::TakeReadAnswer(const Step& step, const RxAnswer& answer) {
  const int start = step.request.Data()[0] << 8 | step.request.Data()[1];
  const int count = std::min(answer.cells[4], answer.count - kHeader - kCrc);
  for (int k = 0; k < count && start + k < static_cast<int>(read_.size()); ++k) {
    read_.at(static_cast<std::size_t>(start + k)) =
        static_cast<std::uint8_t>(answer.cells.at(static_cast<std::size_t>(kHeader + k)));
  }
  readAt_ = address_;
}

// After a refusal nothing more is written: the read-back follows at once.
void SetExchange::SkipWrites() {
  while (step_ + 1 < StepCount() && steps_[static_cast<std::size_t>(step_ + 1)].kind != Kind::kReadBlock) {
    ++step_;
  }
}

void SetExchange::OnTick(std::optional<ExchangeOutcome> outcome) {
  if (!Running() || !outcome) return;
  if (*outcome == ExchangeOutcome::kLinkUp) {
    failures_ = 0;
    return;
  }
  lastFailure_ = outcome;
  if (++failures_ < kGiveUpAfter) return;
  if (interrupted_) {
    end_ = SetEnd::kInterrupted;  // the write stays unanswered
    return;
  }
  GiveUpOrMove();
}

// A controller that takes its new address as it stores it answers the address write from
// there, or not at all: the write, still waiting in the ring, is asked again at the new
// address. A controller that takes it only at its next start is read back at the old one.
void SetExchange::GiveUpOrMove() {
  failures_ = 0;
  const Kind kind = steps_.at(static_cast<std::size_t>(step_)).kind;
  if (newAddress_ && kind == Kind::kWriteAddress && address_ == firstAddress_) {
    address_ = *newAddress_;
    return;
  }
  if (newAddress_ && kind == Kind::kReadBlock && address_ == *newAddress_ && !newAddressSilent_) {
    address_ = firstAddress_;
    newAddressSilent_ = true;
    return;
  }
  end_ = SetEnd::kNoAnswer;
}

}  // namespace torvex::paramset
