#pragma once
// The EEPROM kept between runs, as a text file an engineer can read and edit:
//
//   # comment lines and trailing comments start with '#'
//   00: 03 E8      # AIN1 Pt100 point 1 = 100.0
//   02: 05 69      # AIN1 Pt100 point 2 = 138.5
//   ...
//   60: 07         # Modbus address = 7
//
// Each line holds an EEPROM address in hex, a colon and the bytes stored from there on, two
// hex digits each. The lines must cover bytes 0x00-0x60 in order, without gaps; how many bytes
// a line holds is free. The comments are written for the reader and ignored when read.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "sim/eeprom.h"

namespace torvex::sim {

std::string FormatEepromText(const Eeprom& eeprom);

struct EepromParse {
  std::optional<Eeprom> eeprom;
  std::string error;  // what is wrong and on which line, when `eeprom` is empty
};
EepromParse ParseEepromText(std::string_view text);

struct EepromLoad {
  std::optional<Eeprom> eeprom;  // empty: the file could not be read or written at all
  std::string message;           // a note for the operator, or the error
};
// Reads the EEPROM kept in `path`. A missing file is created with the defaults. A file that is
// not a complete image (short, long or garbled) is kept as PATH.bad and a new one with the
// defaults takes its place, so nothing the operator kept is overwritten unseen.
EepromLoad LoadEepromFile(const std::filesystem::path& path);

// Replaces the file in one step (write beside it, then rename), so a crash never leaves half an
// EEPROM behind. Returns the error text on failure.
std::optional<std::string> SaveEepromFile(const std::filesystem::path& path, const Eeprom& eeprom);

}  // namespace torvex::sim
