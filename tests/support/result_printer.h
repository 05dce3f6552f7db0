#pragma once
// Lets GoogleTest print a Result in failure messages: "ok", or the failure's reason.
#include <ostream>

#include "platform/result.h"

namespace torvex {

inline void PrintTo(const Result& result, std::ostream* os) {
  if (result.Ok()) {
    *os << "ok";
  } else {
    *os << "failed: \"" << result.Why().toStdString() << '"';
  }
}

}  // namespace torvex
