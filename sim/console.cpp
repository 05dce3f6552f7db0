#include "sim/console.h"

#include "sim/eeprom_file.h"
#include "sim/text.h"

namespace torvex::sim {
namespace {

std::string Elapsed(std::int64_t us) {
  const std::int64_t ms = us / 1000;
  std::string frac = Dec(ms % 1000);
  return Dec(ms / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

}  // namespace

Console::Console(std::ostream& err, bool trace, std::string eepromFile, std::int64_t startUs,
                 std::uint8_t address, const Responder& responder)
    : err_(err),
      trace_(trace),
      eepromFile_(std::move(eepromFile)),
      startUs_(startUs),
      address_(address),
      responder_(responder) {}

void Console::Trace(const char* direction, std::span<const std::uint8_t> bytes, std::int64_t atUs,
                    const std::string& note) {
  if (!trace_) return;
  err_ << Elapsed(atUs - startUs_) << ' ' << direction << ' ' << Hex(bytes);
  if (!note.empty()) err_ << "  (" << note << ")";
  err_ << "\n";
}

void Console::EepromChanged() {
  const Eeprom& stored = responder_.GetController().GetEeprom();
  if (!eepromFile_.empty()) {
    if (auto error = SaveEepromFile(eepromFile_, stored, address_)) Say(*error);
  }
  if (stored.ModbusAddress() != address_) {
    Say("the EEPROM now holds slave address " + Dec(stored.ModbusAddress()) + "; it answers as " +
        Dec(address_) + " until it is started again");
  }
}

void Console::Say(const std::string& message) { err_ << "torvex-sim: " << message << "\n"; }

}  // namespace torvex::sim
