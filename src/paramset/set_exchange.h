#pragma once
// A whole parameter set moved through the exchange: read afresh from the controller with its
// versions, or written and read back to check it. Its requests are queued one at a time, each
// once the one before is answered, so nothing it did not ask for comes between them and a
// refused write stops those after it (the slave address, written last, is never written after a
// refusal). It takes only the answers to its own requests, told by their number in the ring,
// and gives up when the controller stops answering.
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/exchange_outcome.h"
#include "engine/modbus_engine.h"
#include "engine/rx_buffer.h"
#include "modbus/pdu.h"
#include "paramfile/param_layout.h"

namespace torvex::paramset {

using paramfile::ParamImage;

enum class SetEnd {
  kRunning,
  kDone,       // read; or written as far as the controller took it, and read back
  kNoAnswer,   // the controller stopped answering: kGiveUpAfter failed exchanges in a row
  kQueueFull,  // the ring refused a request
  kReadRefused,  // the controller refused to give its parameters (an exception answer)
  kInterrupted,  // stopped from outside (Interrupt)
};

// A request the controller refused with an exception answer: parameters first to last.
struct Refusal {
  int first = 0;
  int last = 0;
  int exceptionCode = 0;
};

// Parameters first to last.
struct ParamSpan {
  int first = 0;
  int last = 0;
};

class SetExchange {
 public:
  // Failed exchanges in a row after which the controller counts as not answering (about a
  // second on a serial line).
  static constexpr int kGiveUpAfter = 10;

  // Reads the 49 parameters afresh, then the software and protocol versions, at `address`.
  static SetExchange Read(int address);
  // Writes `image` at `address`: its blocks, then the slave address alone; then reads it all
  // back. When the image changes the slave address, the read-back asks at the new one, and at
  // the old one when the new one does not answer.
  static SetExchange Write(const ParamImage& image, int address);

  // Queues the first request.
  void Start(ModbusEngine& engine);
  // Every valid answer the engine takes (its decoder's); those to other requests are ignored.
  void OnAnswer(const RxAnswer& answer);
  // Every tick's outcome.
  void OnTick(std::optional<ExchangeOutcome> outcome);
  // Ends the run without sending anything more. A write already queued is waited for first, so
  // that its answer tells whether the controller took it (as long as the controller answers at
  // all); a second call does not wait.
  void Interrupt();

  SetEnd End() const { return end_; }
  bool Running() const { return end_ == SetEnd::kRunning; }
  // The slave address the exchange must use now.
  int SlaveAddress() const { return address_; }
  // Of the requests it has queued, how many are answered, and how many it will queue in all.
  int StepsDone() const { return step_; }
  int StepCount() const { return static_cast<int>(steps_.size()); }

  // The set as the controller holds it, read (back) in this run; empty until all of it is.
  const std::optional<ParamImage>& Controller() const { return controller_; }
  // The version words, when their answer came (high byte major, low byte minor).
  std::optional<int> SoftwareVersion() const { return softwareVersion_; }
  std::optional<int> ProtocolVersion() const { return protocolVersion_; }

  // Writing: the parameters whose write the controller answered with the very bytes written.
  int ParamsConfirmed() const { return confirmed_; }
  // A write sent whose answer never came, the run having ended without it: the controller may
  // hold those parameters or not.
  std::optional<ParamSpan> Unanswered() const;
  // Whether every write was carried out before the run ended (the read-back may be unfinished).
  bool WritesDone() const;
  // The first write refused (the writes after it were not sent), or the read refused.
  const std::optional<Refusal>& Refused() const { return refused_; }
  // The slave address the set gives the controller, when it differs from the one asked at.
  std::optional<int> NewAddress() const { return newAddress_; }
  // The read-back had to go back to the old address: the new one did not answer.
  bool NewAddressSilent() const { return newAddressSilent_; }
  // The address the set was read (back) at.
  int ReadAt() const { return readAt_; }
  // How the last failed exchange failed (a gateway may have said why); none before one.
  std::optional<ExchangeOutcome> LastFailure() const { return lastFailure_; }

 private:
  enum class Kind { kReadBlock, kReadVersions, kWriteBlock, kWriteAddress };
  struct Step {
    Kind kind;
    modbus::Pdu request;
    int first = 0;    // parameters carried: first .. last
    int last = 0;
  };

  explicit SetExchange(int address) : address_(address), firstAddress_(address) {}
  void QueueStep();
  void Next();
  void TakeWriteAnswer(const Step& step, const RxAnswer& answer);
  void TakeReadAnswer(const Step& step, const RxAnswer& answer);
  void SkipWrites();
  void GiveUpOrMove();
  void Finish();

  ModbusEngine* engine_ = nullptr;
  std::vector<Step> steps_;
  int step_ = 0;
  std::uint64_t waitingFor_ = 0;  // the ring's number of the request in flight of ours; 0: none
  bool interrupted_ = false;
  int failures_ = 0;
  std::optional<ExchangeOutcome> lastFailure_;
  SetEnd end_ = SetEnd::kRunning;
  int address_;
  int firstAddress_;
  int readAt_ = 0;
  ParamImage read_{};
  std::optional<ParamImage> controller_;
  std::optional<int> softwareVersion_;
  std::optional<int> protocolVersion_;
  int confirmed_ = 0;
  std::optional<Refusal> refused_;
  std::optional<int> newAddress_;
  bool newAddressSilent_ = false;
};

}  // namespace torvex::paramset
