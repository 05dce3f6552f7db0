#pragma once
// The result of an operation that can fail in a way the program expects and handles: a file
// that cannot be written, a binding the file system refuses, a port that does not open. It is
// a success or a failure; a failure carries what went wrong, by default the reason in the
// operator's words. Success and failure never depend on the reason's text, so a failure
// without words is still a failure.
#include <optional>
#include <utility>

#include <QString>

namespace torvex {

template <typename Failure>
class [[nodiscard]] BasicResult {
 public:
  // A success: `return {};`.
  BasicResult() = default;
  static BasicResult Failed(Failure failure) {
    BasicResult result;
    result.failure_.emplace(std::move(failure));
    return result;
  }

  bool Ok() const { return !failure_.has_value(); }
  explicit operator bool() const { return Ok(); }
  // What went wrong; asking a success is a caller's bug (std::bad_optional_access).
  const Failure& Why() const { return failure_.value(); }

  friend bool operator==(const BasicResult&, const BasicResult&) = default;

 private:
  std::optional<Failure> failure_;
};

// The common case: a failure is its reason, in the operator's words.
using Result = BasicResult<QString>;

}  // namespace torvex
