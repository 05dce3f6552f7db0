#pragma once
// Sets the default QLocale for one test and puts the previous one back afterwards.
#include <QLocale>

namespace torvex::test {

class DefaultLocale {
 public:
  explicit DefaultLocale(QLocale::Language language) { QLocale::setDefault(QLocale(language)); }
  ~DefaultLocale() { QLocale::setDefault(saved_); }
  DefaultLocale(const DefaultLocale&) = delete;
  DefaultLocale& operator=(const DefaultLocale&) = delete;

 private:
  QLocale saved_;
};

}  // namespace torvex::test
