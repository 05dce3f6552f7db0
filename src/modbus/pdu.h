#pragma once
// A protocol data unit: function code and data, what a request asks or an answer says, apart
// from the line it travels on. Any code is allowed: the standard's, the controller's own and
// the exception answers'. Multi-byte fields in the data are high byte first.
#include <cstdint>
#include <span>
#include <vector>

#include "modbus/function_code.h"

namespace torvex::modbus {

class Pdu {
 public:
  Pdu() = default;
  Pdu(std::uint8_t function, std::vector<std::uint8_t> data)
      : function_(function), data_(std::move(data)) {}
  Pdu(FunctionCode function, std::vector<std::uint8_t> data)
      : Pdu(Code(function), std::move(data)) {}

  // From the bytes as they stand in a frame after the address: function code, then data.
  // No bytes give function 0 without data.
  static Pdu FromBytes(std::span<const std::uint8_t> bytes);

  std::uint8_t Function() const { return function_; }
  bool IsException() const { return modbus::IsException(function_); }
  const std::vector<std::uint8_t>& Data() const { return data_; }
  // Function code and data.
  std::size_t Size() const { return 1 + data_.size(); }
  std::vector<std::uint8_t> Bytes() const;

  friend bool operator==(const Pdu&, const Pdu&) = default;

 private:
  std::uint8_t function_ = 0;
  std::vector<std::uint8_t> data_;
};

}  // namespace torvex::modbus
