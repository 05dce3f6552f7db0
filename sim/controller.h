#pragma once
// The controller as the bus master sees it: one request frame in, the answer frame out.
// Holding registers 3000-3147 (3000-3009 writable: transaction code, discrete and analog
// outputs; the rest measured), the 97 EEPROM bytes through functions 100 and 101, and the
// standard exception answers for what it refuses. It keeps no clock: the caller says when.
// It drives the bench (sim/plant.h) from the written output registers and reads its inputs
// back, through the faults of the unit it plays.
#include <array>
#include <cstdint>
#include <span>

#include "sim/eeprom.h"
#include "sim/faults.h"
#include "sim/modbus.h"
#include "sim/plant.h"

namespace torvex::sim {

inline constexpr std::uint16_t kFirstRegister = 3000;
inline constexpr std::uint16_t kLastWritableRegister = 3009;
inline constexpr std::uint16_t kLastRegister = 3147;
inline constexpr std::size_t kRegisterCount = kLastRegister - kFirstRegister + 1;

inline constexpr std::uint16_t kProtocolVersion = 0x0105;  // 1.05
inline constexpr std::uint16_t kSoftwareVersion = 0x020E;  // 2.14

using RegisterImage = std::array<std::uint16_t, kRegisterCount>;  // index = address - 3000

class Controller {
 public:
  Controller(Eeprom eeprom, Plant plant, std::uint8_t address, UnitFaults faults = {});

  struct Outcome {
    enum class Kind {
      kAnswered,      // a normal answer
      kRefused,       // an exception answer
      kBadFrame,      // too short or a wrong CRC: a slave stays silent
      kNotForUs,      // another slave's frame
      kBroadcast,     // address 0: writes are carried out, nobody answers
    };
    Kind kind;
    Bytes answer;                // with its CRC; empty unless answered or refused
    bool eepromChanged = false;  // a write changed the stored bytes
  };

  // Handles one frame (address to CRC) at `tMs` milliseconds of plant time.
  Outcome Handle(std::span<const std::uint8_t> frame, std::int64_t tMs);

  // Every holding register as a read at `tMs` would see it.
  RegisterImage Registers(std::int64_t tMs) const;

  std::uint8_t Address() const { return address_; }
  const Eeprom& GetEeprom() const { return eeprom_; }

 private:
  struct Result {
    Bytes pdu;                    // function and data, or empty for an exception
    std::uint8_t exception = 0;
    bool eepromChanged = false;
  };
  Result Execute(std::span<const std::uint8_t> frame, std::int64_t tMs);
  Result ReadRegisters(std::span<const std::uint8_t> frame, std::int64_t tMs) const;
  Result WriteRegister(std::span<const std::uint8_t> frame);
  Result WriteRegisters(std::span<const std::uint8_t> frame);
  Result ReadEeprom(std::span<const std::uint8_t> frame) const;
  Result WriteEeprom(std::span<const std::uint8_t> frame);
  // What the written outputs put on the bench's wires.
  BenchOutputs Outputs() const;
  // The discrete inputs as the unit reads them from what reaches its terminals.
  std::uint32_t DiscreteInputs(std::uint32_t terminals) const;

  Eeprom eeprom_;
  Plant plant_;
  std::uint8_t address_;
  UnitFaults faults_;
  std::array<std::uint16_t, kLastWritableRegister - kFirstRegister + 1> written_{};
};

}  // namespace torvex::sim
