#include "text/counted_noun.h"

namespace torvex {

QString CountedNoun(int n, const NounForms& noun) {
  const int tens = n % 100;
  const int units = n % 10;
  const char* word = noun.many;
  if (tens < 11 || tens > 14) {
    if (units == 1) word = noun.one;
    else if (units >= 2 && units <= 4) word = noun.few;
  }
  return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(word);
}

}  // namespace torvex
