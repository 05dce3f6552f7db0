// Test main for programs that build widgets: they need a QApplication (run them with
// QT_QPA_PLATFORM=offscreen where there is no display).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
