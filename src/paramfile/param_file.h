#pragma once
// The parameter file: the controller's EEPROM as text an engineer can read, keep and edit, the
// same for torvex-tp (saved from a controller, loaded into the boxes, written to a controller)
// and for torvex-sim (its EEPROM between runs):
//
//   # TORVEX-CPU: параметры ЭСППЗУ, 97 байт
//   # Сохранено: 2026-12-11 10:15:00 (torvex-tp 1.4.0)
//   # Контроллер: адрес 7, версия ПО 2.14, версия протокола 1.05
//   # Заводской номер: 0421
//   00: 03 E8    # AIN1 Pt100, точка 1 = 100
//   ...
//   60: 07       # Адрес Modbus = 7
//
// A line holds an EEPROM address in hex, a colon and the bytes of the parameter that starts
// there, two hex digits each, high byte first; "#" starts a comment. Every parameter must be
// there exactly once, in any order; a line may carry several parameters that follow each other
// whole. The comments are for the reader and are ignored when read. A file with anything else
// is refused whole, with the line and what is wrong.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "paramfile/param_layout.h"

namespace torvex::paramfile {

// What the header comment tells of where the parameters came from; empty fields are left out.
struct FileHeader {
  std::string savedAt;          // "2026-12-11 10:15:00"
  std::string writer;           // the program that wrote it, "torvex-tp 1.4.0"
  int address = 0;              // the slave address the controller answered at; 0: not said
  std::string softwareVersion;  // "2.14"
  std::string protocolVersion;  // "1.05"
  std::string unitSerial;       // the unit's serial number, "0421"
};

// The header's fields are written each on its one line: a line break or another control
// character in one becomes a blank.
std::string FormatParamFile(const ParamImage& image, const FileHeader& header);

// No parameter file is this long; a longer one is not read at all.
inline constexpr std::size_t kMaxFileSize = 1 << 20;

enum class FileFault {
  kTooBig,          // longer than kMaxFileSize
  kNoColon,         // a line that is neither a comment nor "address: bytes"
  kBadAddress,      // `word` is not a hex number
  kOutside,         // `address` lies beyond the EEPROM
  kNotParamStart,   // no parameter starts at `address`
  kNoBytes,         // an address with no bytes after it
  kBadByte,         // `word` is not two hex digits
  kBeyondEnd,       // the line's bytes run past the EEPROM's last byte
  kEndsInside,      // the line ends within parameter `param` (`count` of its bytes given)
  kRepeated,        // parameter `param` was given already, on line `otherLine`
  kBadSlaveAddress, // the slave address `value` is no address a controller can answer at
  kMissing,         // parameter `param` is not in the file, nor `count` - 1 others (49: empty)
};

struct FileError {
  FileFault fault = FileFault::kMissing;
  int line = 0;  // 1-based; 0 for what concerns the whole file
  std::string word;
  std::size_t address = 0;
  int param = -1;
  int count = 0;
  int otherLine = 0;
  int value = 0;
  std::size_t size = 0;  // kTooBig: the file's length
};

struct ParamFileParse {
  std::optional<ParamImage> image;  // empty: refused, `error` says why
  FileError error;
};

// What a file must hold beyond a complete image.
struct ParseRules {
  // The slave address must be one a controller can answer at. The tool, which writes files to
  // controllers, asks for it; the simulator keeps whatever a master stored in its EEPROM.
  bool answerableAddress = true;
};

ParamFileParse ParseParamFile(std::string_view text, ParseRules rules = {});

// What is wrong, in Russian, without the line: "адрес 61 вне ЭСППЗУ (00-60)".
std::string FaultText(const FileError& error);

// An EEPROM address as the file writes it: two hex digits at least, capitals.
std::string HexAddress(std::size_t address);

}  // namespace torvex::paramfile
