#pragma once
// The simulator's standard error while it runs: the trace of every frame (--trace), what the
// operator should know, and the EEPROM kept in its file after every change.
#include <cstdint>
#include <ostream>
#include <string>

#include "sim/conversation.h"

namespace torvex::sim {

class Console : public Observer {
 public:
  // `eepromFile` empty: the EEPROM lives in memory only. `address` is the one answered.
  Console(std::ostream& err, bool trace, std::string eepromFile, std::int64_t startUs,
          std::uint8_t address, const Responder& responder);

  void Trace(const char* direction, std::span<const std::uint8_t> bytes, std::int64_t atUs,
             const std::string& note) override;
  void EepromChanged() override;
  void Say(const std::string& message) override;

 private:
  std::ostream& err_;
  bool trace_;
  std::string eepromFile_;
  std::int64_t startUs_;
  std::uint8_t address_;
  const Responder& responder_;
};

}  // namespace torvex::sim
