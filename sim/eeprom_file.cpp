#include "sim/eeprom_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "sim/controller.h"
#include "sim/text.h"

namespace torvex::sim {
namespace {

// The simulator's own words for what is wrong with a file (the tool says it in Russian).
std::string ErrorText(const paramfile::FileError& e) {
  using paramfile::FileFault;
  using paramfile::HexAddress;
  const std::string where = e.line > 0 ? "line " + Dec(e.line) + ": " : std::string();
  const std::string param =
      e.param >= 0 ? "the parameter at " + HexAddress(paramfile::Spot(e.param).address) : "";
  switch (e.fault) {
    case FileFault::kTooBig:
      return "the file is too long for a parameter file (" + Dec(e.size) + " bytes)";
    case FileFault::kNoColon:
      return where + "expected \"address: bytes\"";
    case FileFault::kBadAddress:
      return where + "the address is not a hex number";
    case FileFault::kOutside:
      return where + "address " + HexAddress(e.address) + " lies beyond the EEPROM (00-60)";
    case FileFault::kNotParamStart:
      return where + "no parameter starts at address " + HexAddress(e.address);
    case FileFault::kNoBytes:
      return where + "no bytes after address " + HexAddress(e.address);
    case FileFault::kBadByte:
      return where + "\"" + e.word + "\" is not a byte in hex";
    case FileFault::kBeyondEnd:
      return where + "bytes beyond the end of the EEPROM (60)";
    case FileFault::kEndsInside:
      return where + "the line ends inside " + param + " (" + Dec(e.count) + " of " +
             Dec(paramfile::Spot(e.param).width) + " bytes)";
    case FileFault::kRepeated:
      return where + param + " was given on line " + Dec(e.otherLine) + " already";
    case FileFault::kBadSlaveAddress:
      return where + "slave address " + Dec(e.value) + " is out of 1-247";
    case FileFault::kMissing:
      if (e.count == paramfile::kParamCount) return "no parameters at all";
      return param + " is missing" + (e.count > 1 ? ", and " + Dec(e.count - 1) + " more" : "");
  }
  return {};
}

// A version word as the tool shows it: high byte major, low byte minor, "2.14", "1.05".
std::string VersionText(std::uint16_t word) {
  const int minor = word & 0xFF;
  return Dec(word >> 8) + (minor > 9 ? "." : ".0") + Dec(minor);
}

std::string LocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local));
}

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::string FormatEepromText(const Eeprom& eeprom, int address) {
  paramfile::FileHeader header;
  header.savedAt = LocalTime();
  header.writer = "torvex-sim";
  header.address = address;
  header.softwareVersion = VersionText(kSoftwareVersion);
  header.protocolVersion = VersionText(kProtocolVersion);
  return paramfile::FormatParamFile(eeprom.Bytes(), header);
}

EepromParse ParseEepromText(std::string_view text) {
  // Whatever a master stored is kept, a slave address of 0 included: the start says what it
  // answers at instead.
  const paramfile::ParamFileParse parsed =
      paramfile::ParseParamFile(text, {.answerableAddress = false});
  if (!parsed.image) return EepromParse{std::nullopt, ErrorText(parsed.error)};
  Eeprom eeprom;
  eeprom.Write(0, *parsed.image);
  return EepromParse{eeprom, {}};
}

EepromLoad LoadEepromFile(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    const Eeprom defaults = Eeprom::Defaults();
    if (auto error = SaveEepromFile(path, defaults)) return {std::nullopt, *error};
    return {defaults, "new EEPROM file " + name + " with the default parameters"};
  }
  if (ec) return {std::nullopt, "cannot read EEPROM file " + name + ": " + ec.message()};
  if (status.type() != std::filesystem::file_type::regular) {
    return {std::nullopt, "EEPROM file " + name + " is not a regular file"};
  }
  std::ifstream in(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) return {std::nullopt, "cannot read EEPROM file " + name + ": " + ErrnoText()};

  const EepromParse parsed = ParseEepromText(content);
  if (parsed.eeprom) return {parsed.eeprom, {}};

  const std::string kept = name + ".bad";
  std::filesystem::rename(path, kept, ec);
  if (ec) return {std::nullopt, "EEPROM file " + name + " is damaged (" + parsed.error +
                                    ") and cannot be moved aside: " + ec.message()};
  const Eeprom defaults = Eeprom::Defaults();
  if (auto error = SaveEepromFile(path, defaults)) return {std::nullopt, *error};
  return {defaults, "EEPROM file " + name + " is damaged (" + parsed.error + "); kept it as " +
                        kept + " and started from the default parameters"};
}

std::optional<std::string> SaveEepromFile(const std::filesystem::path& path, const Eeprom& eeprom,
                                          int address) {
  const std::string name = path.string();
  const std::string temporary = name + ".tmp";
  const std::string text = FormatEepromText(eeprom, address);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "cannot write EEPROM file " + temporary + ": " + ErrnoText();
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temporary.c_str(), name.c_str()) != 0) {
    const std::string error = "cannot write EEPROM file " + name + ": " + ErrnoText();
    ::unlink(temporary.c_str());
    return error;
  }
  return std::nullopt;
}

}  // namespace torvex::sim
