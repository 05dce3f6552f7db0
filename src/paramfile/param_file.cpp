#include "paramfile/param_file.h"

#include <array>
#include <cctype>
#include <charconv>

namespace torvex::paramfile {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// The bytes column is padded to the longest line (two bytes), so the comments line up.
constexpr std::size_t kCommentColumn = 13;

std::string Dec(std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string HexByte(std::uint8_t b) { return {kHexDigits[b >> 4], kHexDigits[b & 0xF]}; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<std::size_t> ParseHex(std::string_view s) {
  std::size_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
  if (s.empty() || ec != std::errc{} || end != s.data() + s.size()) return std::nullopt;
  return value;
}

std::string Quoted(std::string_view s) { return "«" + std::string(s) + "»"; }

// A header field stays on its comment line: a control character (a line break among them) is
// written as a blank, so that no field can make a line of parameters.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

}  // namespace

std::string HexAddress(std::size_t address) {
  std::string text;
  do {
    text.insert(text.begin(), kHexDigits[address & 0xF]);
    address >>= 4;
  } while (address != 0);
  return text.size() < 2 ? "0" + text : text;
}

std::string FormatParamFile(const ParamImage& image, const FileHeader& header) {
  std::string text = "# TORVEX-CPU: параметры ЭСППЗУ, 97 байт\n";
  if (!header.savedAt.empty() || !header.writer.empty()) {
    text += "# Сохранено: " + OneLine(header.savedAt);
    if (!header.writer.empty()) text += (header.savedAt.empty() ? "" : " ") + ("(" + OneLine(header.writer) + ")");
    text += "\n";
  }
  std::string controller;
  auto add = [&controller](const std::string& part) {
    controller += (controller.empty() ? "" : ", ") + part;
  };
  if (header.address != 0) add("адрес " + Dec(header.address));
  if (!header.softwareVersion.empty()) add("версия ПО " + header.softwareVersion);
  if (!header.protocolVersion.empty()) add("версия протокола " + header.protocolVersion);
  if (!controller.empty()) text += "# Контроллер: " + OneLine(controller) + "\n";
  if (!header.unitSerial.empty()) text += "# Заводской номер: " + OneLine(header.unitSerial) + "\n";
  text +=
      "# Строка: адрес в ЭСППЗУ (hex), двоеточие, байты параметра (hex, старший первым).\n"
      "# Правьте байты, не пояснения: пояснение после # только показывает их значение.\n";
  for (int i = 0; i < kParamCount; ++i) {
    const ParamSpot spot = Spot(i);
    std::string line = HexAddress(spot.address) + ":";
    for (int b = 0; b < spot.width; ++b) line += " " + HexByte(image[spot.address + b]);
    line.resize(kCommentColumn, ' ');
    text += line + "# " + Caption(i) + " = " + ValueText(Raw(image, i), i) + "\n";
  }
  return text;
}

ParamFileParse ParseParamFile(std::string_view text, ParseRules rules) {
  ParamFileParse result;
  FileError& error = result.error;
  if (text.size() > kMaxFileSize) {
    error.fault = FileFault::kTooBig;
    error.size = text.size();
    return result;
  }
  // A byte-order mark, as some editors put before UTF-8 text, is not part of the first line.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  ParamImage image{};
  std::array<int, kParamCount> lineOf{};  // the line that gave each parameter; 0: none yet
  int lineNumber = 0;
  auto fail = [&](FileFault fault) -> ParamFileParse& {
    error.fault = fault;
    error.line = lineNumber;
    return result;
  };
  while (!text.empty()) {
    // LF, CR LF and a lone CR (as old Mac editors save) each end a line.
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    if (end == std::string_view::npos) {
      text = {};
    } else {
      text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
    }
    ++lineNumber;
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;

    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return fail(FileFault::kNoColon);
    const std::string_view addressWord = Trim(line.substr(0, colon));
    const auto address = ParseHex(addressWord);
    if (!address) {
      error.word = addressWord;
      return fail(FileFault::kBadAddress);
    }
    error.address = *address;
    if (*address >= kImageSize) return fail(FileFault::kOutside);
    int param = ParamStartingAt(*address);
    if (param < 0) return fail(FileFault::kNotParamStart);

    std::size_t pos = *address;
    int inParam = 0;  // bytes of `param` taken so far
    std::string_view rest = line.substr(colon + 1);
    while (true) {
      rest = Trim(rest);
      if (rest.empty()) break;
      const std::size_t space = rest.find_first_of(" \t");
      const std::string_view word = rest.substr(0, space);
      rest.remove_prefix(word.size());
      const auto value = ParseHex(word);
      if (word.size() != 2 || !value) {
        error.word = word;
        return fail(FileFault::kBadByte);
      }
      if (pos >= kImageSize) return fail(FileFault::kBeyondEnd);
      image[pos++] = static_cast<std::uint8_t>(*value);
      if (++inParam < Spot(param).width) continue;
      // The parameter is whole.
      if (lineOf[param] != 0) {
        error.param = param;
        error.otherLine = lineOf[param];
        return fail(FileFault::kRepeated);
      }
      lineOf[param] = lineNumber;
      if (param == kSlaveAddressParam && rules.answerableAddress &&
          (image[pos - 1] < kFirstSlaveAddress || image[pos - 1] > kLastSlaveAddress)) {
        error.value = image[pos - 1];
        return fail(FileFault::kBadSlaveAddress);
      }
      inParam = 0;
      ++param;
    }
    if (pos == *address) return fail(FileFault::kNoBytes);
    if (inParam != 0) {
      error.param = param;
      error.count = inParam;
      return fail(FileFault::kEndsInside);
    }
  }
  lineNumber = 0;
  for (int i = kParamCount - 1; i >= 0; --i) {
    if (lineOf[i] != 0) continue;
    error.param = i;
    ++error.count;
  }
  if (error.count > 0) return fail(FileFault::kMissing);
  result.image = image;
  return result;
}

std::string FaultText(const FileError& e) {
  const std::string caption = e.param >= 0 ? Quoted(Caption(e.param)) : std::string();
  switch (e.fault) {
    case FileFault::kTooBig:
      return "файл слишком велик для файла параметров (" + Dec(static_cast<std::int64_t>(e.size)) +
             " байт)";
    case FileFault::kNoColon:
      return "ожидается «адрес: байты»";
    case FileFault::kBadAddress:
      return "адрес " + Quoted(e.word) + " не шестнадцатеричное число";
    case FileFault::kOutside:
      return "адрес " + HexAddress(e.address) + " вне ЭСППЗУ (00-60)";
    case FileFault::kNotParamStart:
      return "с адреса " + HexAddress(e.address) + " не начинается ни один параметр";
    case FileFault::kNoBytes:
      return "после адреса " + HexAddress(e.address) + " нет ни одного байта";
    case FileFault::kBadByte:
      return Quoted(e.word) + " не байт в шестнадцатеричной записи (две цифры 0-9, A-F)";
    case FileFault::kBeyondEnd:
      return "байты выходят за конец ЭСППЗУ (60)";
    case FileFault::kEndsInside:
      return "строка обрывается внутри параметра " + caption + ": " + Dec(e.count) + " байт из " +
             Dec(Spot(e.param).width);
    case FileFault::kRepeated:
      return "параметр " + caption + " уже задан в строке " + Dec(e.otherLine);
    case FileFault::kBadSlaveAddress:
      return "адрес Modbus " + Dec(e.value) + " недопустим (" + Dec(kFirstSlaveAddress) + "-" +
             Dec(kLastSlaveAddress) + ")";
    case FileFault::kMissing:
      if (e.count == kParamCount) return "в файле нет ни одного параметра";
      return "нет параметра " + caption + " (адрес " + HexAddress(Spot(e.param).address) + ")" +
             (e.count > 1 ? " и ещё " + Dec(e.count - 1) : "");
  }
  return {};
}

}  // namespace torvex::paramfile
