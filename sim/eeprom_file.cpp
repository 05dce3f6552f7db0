#include "sim/eeprom_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sim/modbus.h"
#include "sim/text.h"

namespace torvex::sim {
namespace {

constexpr std::string_view kHeader =
    "# torvex-sim EEPROM: 97 bytes, one parameter per line.\n"
    "# Each line: the EEPROM address (hex), a colon, the bytes stored there (hex, high byte\n"
    "# first). Edit the bytes, not the comments: the comments only show what the bytes mean.\n";

constexpr std::string_view kCalibrationNames[8] = {
    "Pt100 point 1", "Pt100 point 2", "Pt1000 point 1", "Pt1000 point 2",
    "type K point 1", "type K point 2", "4-20 mA point 1", "4-20 mA point 2"};
constexpr std::string_view kTypeNames[6] = {"off", "discrete", "Pt100", "Pt1000", "type K",
                                            "4-20 mA"};

std::string HexByte(std::uint8_t b) { return Hex(std::span(&b, 1)); }

std::string Describe(std::size_t address, std::int16_t value) {
  const std::string group = address < 48 ? "AIN1 " : "AIN2 ";
  const std::size_t k = (address % 48) / 2;
  if (k < 8) return group + std::string(kCalibrationNames[k]) + " = " + Tenths(value);
  std::string text = group + "sensor type, input " + Dec(static_cast<int>(k) - 8) + " = " + Dec(value);
  if (value >= 0 && value <= 5) text += " (" + std::string(kTypeNames[value]) + ")";
  return text;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<unsigned> ParseHex(std::string_view s) {
  unsigned value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
  if (s.empty() || ec != std::errc{} || end != s.data() + s.size()) return std::nullopt;
  return value;
}

std::string HexNumber(std::size_t value) {
  char buffer[20];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
  std::string text(buffer, end);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text.size() < 2 ? "0" + text : text;
}

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::string FormatEepromText(const Eeprom& eeprom) {
  std::string text(kHeader);
  const auto& b = eeprom.Bytes();
  for (std::size_t address = 0; address < kAddressByte; address += 2) {
    std::string line = HexByte(static_cast<std::uint8_t>(address)) + ": " + HexByte(b[address]) +
                       " " + HexByte(b[address + 1]);
    text += line + "    # " + Describe(address, eeprom.Word(address)) + "\n";
  }
  text += HexByte(kAddressByte) + ": " + HexByte(b[kAddressByte]) +
          "       # Modbus address = " + Dec(b[kAddressByte]) + "\n";
  return text;
}

EepromParse ParseEepromText(std::string_view text) {
  std::array<std::uint8_t, kEepromSize> bytes{};
  std::size_t count = 0;
  int lineNumber = 0;
  auto fail = [&lineNumber](const std::string& what) {
    return EepromParse{std::nullopt, "line " + Dec(lineNumber) + ": " + what};
  };
  std::istringstream lines{std::string(text)};
  for (std::string raw; std::getline(lines, raw);) {
    ++lineNumber;
    std::string_view line = raw;
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return fail("expected \"address: bytes\"");
    const auto address = ParseHex(Trim(line.substr(0, colon)));
    if (!address) return fail("the address is not a hex number");
    if (*address != count) {
      return fail("address " + HexNumber(*address) + " where " + HexNumber(count) +
                  " was expected (lines must follow each other without gaps)");
    }
    std::istringstream words{std::string(line.substr(colon + 1))};
    for (std::string word; words >> word;) {
      const auto value = ParseHex(word);
      if (word.size() != 2 || !value) return fail("\"" + word + "\" is not a byte in hex");
      if (count == kEepromSize) return fail("more than 97 bytes");
      bytes[count++] = static_cast<std::uint8_t>(*value);
    }
  }
  if (count < kEepromSize) {
    return EepromParse{std::nullopt, "only " + Dec(static_cast<std::int64_t>(count)) +
                                         " of 97 bytes"};
  }
  Eeprom eeprom;
  eeprom.Write(0, bytes);
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

std::optional<std::string> SaveEepromFile(const std::filesystem::path& path, const Eeprom& eeprom) {
  const std::string name = path.string();
  const std::string temporary = name + ".tmp";
  const std::string text = FormatEepromText(eeprom);
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
