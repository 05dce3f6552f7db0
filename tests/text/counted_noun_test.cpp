#include "text/counted_noun.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

namespace torvex {
namespace {

// The last digit chooses the form, except 11-14 in the last two digits.
TEST(CountedNoun, AgreesWithTheLastTwoDigits) {
  const NounForms requests{"запрос", "запроса", "запросов"};
  const std::pair<int, const char*> cases[] = {
      {0, "0 запросов"},     {1, "1 запрос"},       {2, "2 запроса"},     {4, "4 запроса"},
      {5, "5 запросов"},     {10, "10 запросов"},   {11, "11 запросов"},  {12, "12 запросов"},
      {14, "14 запросов"},   {15, "15 запросов"},   {21, "21 запрос"},    {22, "22 запроса"},
      {25, "25 запросов"},   {101, "101 запрос"},   {111, "111 запросов"}, {112, "112 запросов"},
      {121, "121 запрос"},   {511, "511 запросов"}, {1000, "1000 запросов"},
  };
  for (const auto& [n, text] : cases) EXPECT_EQ(CountedNoun(n, requests), QString::fromUtf8(text));
}

}  // namespace
}  // namespace torvex
