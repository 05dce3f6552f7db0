#pragma once
// A number with its noun, as Russian agrees them: 1 регистр, 2 регистра, 5 регистров, and so
// on by the last two digits (21 регистр, 11 регистров, 112 регистров).
#include <QString>

namespace torvex {

// The forms a noun takes after a number, in UTF-8: after 1 (21, 101, ...), after 2-4 (22-24,
// ...), and after 0, 5-20 (25-30, 111-114, ...).
struct NounForms {
  const char* one;
  const char* few;
  const char* many;
};

// "n noun": CountedNoun(21, {"запрос", "запроса", "запросов"}) is "21 запрос".
QString CountedNoun(int n, const NounForms& noun);

}  // namespace torvex
