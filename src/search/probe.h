#pragma once
// One probe of a search: the request that asks a slave for the controller's two version
// registers, how long its answer is waited for at a line mode, and what the answer says. Only a
// whole answer matched to the request (address, function, length, CRC; over Modbus TCP its
// transaction) counts, so nothing is found at a wrong speed.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <QString>

#include "modbus/pdu.h"
#include "platform/byte_link.h"

namespace torvex::search {

// How late a controller may start its answer, unless the operator allows more.
inline constexpr std::chrono::milliseconds kDefaultReplyAllowance{50};

// Reads the protocol and software versions (3050-3051).
modbus::Pdu ProbeRequest();

// The request's bytes and its answer's at `mode`, 3.5 characters of silence, and the reply
// allowance. Over TCP the line is the gateway's: a network's allowance more.
std::chrono::microseconds ProbeWait(const QString& mode, std::chrono::milliseconds allowance,
                                    bool network = false);

// What answered a probe.
struct ProbeFind {
  enum class Kind { kTorvex, kOtherDevice };
  Kind kind = Kind::kTorvex;
  int protocolVersion = 0;  // kTorvex: the registers as read
  int softwareVersion = 0;
  int exceptionCode = 0;  // kOtherDevice: the exception it answered with
  friend bool operator==(const ProbeFind&, const ProbeFind&) = default;
};

// The probe's answer among the bytes received after it, framed as the link frames (the request
// went out with `transaction` over Modbus TCP); nothing when no whole matched answer is there.
std::optional<ProbeFind> JudgeProbe(std::span<const std::uint8_t> received, int address,
                                    LinkFraming framing, std::uint16_t transaction = 0);

// "2.14", as the main window shows a version, without its blanks.
QString VersionText(int word);

}  // namespace torvex::search
