#pragma once
// One probe of a search: the request that asks a slave for the controller's two version
// registers, how long an answer is waited for at a line mode, and what the answers say. A device
// that gives its versions is asked once more, for what only the controller answers (its own
// function 100), so that a device that merely holds two registers there is not taken for one.
// Only a whole answer matched to the request (address, function, length, CRC; over Modbus TCP
// its transaction) counts, so nothing is found at a wrong speed.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <QString>

#include "engine/answer_scan.h"
#include "modbus/pdu.h"
#include "platform/byte_link.h"

namespace torvex::search {

// How late a controller may start its answer, unless the operator allows more.
inline constexpr std::chrono::milliseconds kDefaultReplyAllowance{50};
// The same over Modbus TCP, where a gateway waits for the device on its own line before it
// answers (or says that nothing answered): enough for the serial timeouts gateways are set to.
inline constexpr std::chrono::milliseconds kDefaultGatewayAllowance{1000};
// The range the operator may choose from.
inline constexpr std::chrono::milliseconds kMinReplyAllowance{10};
inline constexpr std::chrono::milliseconds kMaxReplyAllowance{5000};

// Reads the protocol and software versions (3050-3051).
modbus::Pdu ProbeRequest();
// Reads the controller's slave address byte from its EEPROM (function 100): the shortest
// request that only a TORVEX-CPU answers as asked.
modbus::Pdu IdentityRequest();

// The request's bytes and its answer's at `mode`, 3.5 characters of silence, and the reply
// allowance. Over TCP the line is the gateway's: a network's time more.
std::chrono::microseconds ProbeWait(const QString& mode, std::chrono::milliseconds allowance,
                                    bool network = false,
                                    const modbus::Pdu& request = ProbeRequest());

// What came back for one request of a probe.
struct ProbeReply {
  enum class Kind {
    kAnswer,              // the answer asked for
    kException,           // the device refused the request
    kGatewayNoPath,       // a gateway has no way to the unit (exception 0x0A)
    kGatewayNoResponse,   // a gateway got no answer from the unit (exception 0x0B)
  };
  Kind kind = Kind::kAnswer;
  int exceptionCode = 0;            // kException
  std::vector<std::uint8_t> data;   // kAnswer: what follows the function code
  friend bool operator==(const ProbeReply&, const ProbeReply&) = default;
};

// The bytes received after `request` went to `address`, cut into frames as the link frames them
// (the request went out with `transaction` over Modbus TCP).
Scan ScanReply(std::span<const std::uint8_t> received, int address, const modbus::Pdu& request,
               LinkFraming framing, std::uint16_t transaction = 0);
// The request's answer among them; nothing when no whole matched answer is there.
std::optional<ProbeReply> ReplyOf(const Scan& scan, std::span<const std::uint8_t> received,
                                  LinkFraming framing);

// What answered a probe.
struct ProbeFind {
  enum class Kind { kTorvex, kOtherDevice };
  Kind kind = Kind::kTorvex;
  int protocolVersion = 0;  // kTorvex: the registers as read
  int softwareVersion = 0;
  int exceptionCode = 0;  // kOtherDevice: the exception it refused the version read with, or 0
  friend bool operator==(const ProbeFind&, const ProbeFind&) = default;
};

// Whether the reply to the version read calls for the identity read.
bool NeedsIdentity(const std::optional<ProbeReply>& versions);
// The probe's verdict from its replies (the identity read's only when it was asked): nothing when
// no device answered, a gateway's word that nothing answered behind it included.
std::optional<ProbeFind> Verdict(const std::optional<ProbeReply>& versions,
                                 const std::optional<ProbeReply>& identity);

// "2.14", as the main window shows a version, without its blanks.
QString VersionText(int word);

}  // namespace torvex::search
