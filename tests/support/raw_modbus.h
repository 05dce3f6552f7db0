#pragma once
// A Modbus request of a test's own to the simulator serving RTU over TCP on loopback, beside the
// tool under test: to set or read registers the tool must not be trusted to report.
#include <vector>

#include <QTcpSocket>

#include "modbus/adu.h"

namespace torvex::test {

// Sends `request` to slave 7 at `port`; the registers of a function 3 answer, or nothing.
inline std::vector<int> AskSim(quint16 port, const modbus::Pdu& request) {
  QTcpSocket socket;
  socket.connectToHost(QStringLiteral("127.0.0.1"), port);
  if (!socket.waitForConnected(3000)) return {};
  const std::vector<std::uint8_t> frame = modbus::Adu(7, request).Bytes();
  socket.write(reinterpret_cast<const char*>(frame.data()), static_cast<qint64>(frame.size()));
  QByteArray answer;
  while (socket.waitForReadyRead(500)) answer += socket.readAll();
  std::vector<int> registers;
  for (qsizetype i = 3; answer.size() > 4 && answer[1] == 3 && i + 1 < answer.size() - 2; i += 2) {
    registers.push_back(static_cast<std::uint8_t>(answer[i]) << 8 | static_cast<std::uint8_t>(answer[i + 1]));
  }
  return registers;
}

}  // namespace torvex::test
