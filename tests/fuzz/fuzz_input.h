#pragma once
// What the fuzz targets share: reading a fuzzer's input field by field, turning bytes into
// texts, and a check that stops the run where a property breaks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include <QString>

namespace torvex::fuzz {

// The input, taken from the front. A read past the end gives zeros or a shorter span, so every
// input means something.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
  std::uint32_t U32() {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= static_cast<std::uint32_t>(Byte()) << (8 * k);
    return v;
  }
  double Double() {
    std::uint64_t bits = 0;
    for (int k = 0; k < 8; ++k) bits |= static_cast<std::uint64_t>(Byte()) << (8 * k);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  std::span<const std::uint8_t> Take(std::size_t n) {
    const std::size_t k = n < size_ - pos_ ? n : size_ - pos_;
    const std::span<const std::uint8_t> out(data_ + pos_, k);
    pos_ += k;
    return out;
  }
  std::span<const std::uint8_t> Rest() { return Take(size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Text as a file or a UTF-8 keyboard gives it.
inline QString Utf8(std::span<const std::uint8_t> bytes) {
  return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<qsizetype>(bytes.size()));
}

// Any sequence of UTF-16 code units, lone surrogates and NULs included.
inline QString Utf16(std::span<const std::uint8_t> bytes) {
  QString text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.append(QChar(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8))));
  }
  return text;
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
  std::abort();
}

}  // namespace torvex::fuzz

// A property of the code under test; its failure is a finding like a crash.
#define FUZZ_CHECK(cond) \
  ((cond) ? (void)0 : ::torvex::fuzz::Fail(#cond, __FILE__, __LINE__))
