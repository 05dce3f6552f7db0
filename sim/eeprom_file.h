#pragma once
// The EEPROM kept between runs, in the parameter file that torvex-tp saves and loads (see
// paramfile/param_file.h): a controller's parameters saved in the field run on the desk, and the
// other way round. The simulator writes its name, versions, address and the time in the header.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "paramfile/param_file.h"
#include "sim/eeprom.h"

namespace torvex::sim {

// `address`: the slave address the simulator answers at, for the header.
std::string FormatEepromText(const Eeprom& eeprom, int address = 0);

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
std::optional<std::string> SaveEepromFile(const std::filesystem::path& path, const Eeprom& eeprom,
                                          int address = 0);

}  // namespace torvex::sim
