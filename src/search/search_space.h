#pragma once
// What a search for a controller of unknown settings tries, and in which order: the ports, the
// line modes (speed and framing) and the slave addresses, the usual cases first.
#include <cstdint>
#include <vector>

#include <QString>

namespace torvex::search {

// The speeds a search offers, slowest first.
inline constexpr int kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// The framings, as the end of a mode string: no parity with 2 stop bits (Modbus's rule for no
// parity), even and odd parity with 1, and no parity with 1 (common though outside the rule).
inline const QString kFramings[] = {QStringLiteral("n,8,2"), QStringLiteral("e,8,1"),
                                    QStringLiteral("o,8,1"), QStringLiteral("n,8,1")};
// Where controllers leave the factory, and the speeds set most often.
inline constexpr int kUsualAddress = 7;
inline constexpr int kUsualSpeeds[] = {9600, 19200, 115200};

struct SearchSpace {
  // COM port numbers; one entry 0 for a network link, whose line mode is the gateway's.
  std::vector<int> ports;
  std::vector<int> speeds;      // of kSpeeds
  std::vector<QString> framings;  // of kFramings
  int firstAddress = 1;
  int lastAddress = 127;
  // Over Modbus TCP also unit 255, which many gateways answer for themselves.
  bool gatewayUnit = false;
  // The mode and the address in use now: tried first.
  QString configuredMode;
  int selectedAddress = kUsualAddress;
};

struct Probe {
  int port = 0;  // COM number, 0 on a network link
  QString mode;
  int address = 0;
  friend bool operator==(const Probe&, const Probe&) = default;
};

// Every probe of the space once, in the order that finds the usual cases first: the configured
// mode with address 7 and the selected address; address 7 at every mode; every address at
// 9600, 19200 and 115200 baud; the rest. On a network link (port 0) only the configured mode.
std::vector<Probe> SearchOrder(const SearchSpace& space);

}  // namespace torvex::search
