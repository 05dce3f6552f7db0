#pragma once
// The serial port layer: the only operations the tool needs from a port. The engine and the
// dialogs use this interface; QtSerialPort implements it, tests may fake it.
#include <optional>
#include <stdexcept>
#include <utility>

#include <QString>

#include "platform/byte_link.h"
#include "platform/port_fault.h"
#include "platform/result.h"

namespace torvex {

// Why a port operation failed. The start-up message and the settings dialog tell these apart.
class PortError : public std::runtime_error {
 public:
  enum class Kind {
    InvalidValue,  // malformed mode string or port number
    InUse,         // another program holds the port
    Unavailable,   // missing, no access, or any other failure
  };
  PortError(Kind kind, const std::string& what, std::optional<PortFault> fault = std::nullopt)
      : std::runtime_error(what), kind_(kind), fault_(std::move(fault)) {}
  Kind kind() const { return kind_; }
  // The device and the reason, when the opening of a device failed.
  const std::optional<PortFault>& fault() const { return fault_; }

 private:
  Kind kind_;
  std::optional<PortFault> fault_;
};

// An operation of the port layer whose failure is a result, not a throw: for callers that try
// ports and go on either way (the settings dialog scanning and reopening ports).
template <typename Operation>
BasicResult<PortError> TryPort(Operation&& operation) {
  try {
    std::forward<Operation>(operation)();
  } catch (const PortError& error) {
    return BasicResult<PortError>::Failed(error);
  }
  return {};
}

// A serial port as the tool opens it: COMn with a mode string; the bytes go through ByteLink.
class SerialPort : public ByteLink {
 public:
  // Mode string such as "9600,n,8,2". Throws PortError(InvalidValue) for an invalid one; on an
  // open port a valid mode applies at once.
  virtual void SetSettings(const QString& mode) = 0;
  // Port number n of COMn (1-255). Throws PortError(InvalidValue) for an invalid one. Takes
  // effect at the next Open.
  virtual void SetCommPort(int number) = 0;
  // Opens with the mode and number set before. Throws PortError of the matching kind.
  virtual void Open() = 0;
  virtual void Close() = 0;
};

}  // namespace torvex
