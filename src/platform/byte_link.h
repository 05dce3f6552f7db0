#pragma once
// A link that carries the exchange's bytes to the controller: the serial port, or a TCP
// connection to a serial device server or a Modbus TCP gateway. The engine sends and receives
// through this alone.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace torvex {

// How frames travel on a link.
enum class LinkFraming {
  kRtuLine,    // RTU frames on a serial line: a frame ends at a silence
  kRtuStream,  // the same bytes carried by TCP, which may join or split them
  kMbap,       // Modbus TCP: the MBAP header in place of the address and the CRC
};

class ByteLink {
 public:
  virtual ~ByteLink() = default;

  virtual bool IsOpen() const = 0;
  // All bytes in one write, in order. Nothing happens on a closed link.
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
  // Received bytes waiting; 0 when none or when the link is closed. A network link keeps what
  // arrived before its connection ended: that is the server's word all the same.
  virtual int BytesWaiting() = 0;
  // One received byte, removed from those waiting (0 when none is waiting).
  virtual std::uint8_t ReadByte() = 0;
  // When the last received byte arrived (steady clock); nothing before the first. The exchange
  // tells from it whether the line has been silent long enough to send.
  virtual std::optional<std::chrono::steady_clock::time_point> LastArrival() const = 0;
  virtual LinkFraming Framing() const { return LinkFraming::kRtuLine; }
  // Counts the connections a network link has made: a request sent on one that has ended gets
  // no answer any more. A serial line is one connection for good.
  virtual std::uint64_t Connection() const { return 0; }
  // The server closed a connection after serving on it, as some close after every answer, and
  // a new one is being made at once: the next request waits for it, nothing has failed.
  virtual bool Reopening() const { return false; }
  // Called from the event loop as bytes arrive (nothing: nobody is told); continuous polling
  // ticks the exchange on it. A link that cannot tell leaves it uncalled.
  virtual void SetArrivalHandler(std::function<void()> handler) { (void)handler; }
  // A hint that nothing is worth waking for until `count` more bytes have arrived (the rest of
  // an awaited answer): a serial port holds its readiness back until then, so that the loop does
  // not run for every character. 1, as it starts: every byte.
  virtual void SetWakeThreshold(std::size_t count) { (void)count; }
};

}  // namespace torvex
