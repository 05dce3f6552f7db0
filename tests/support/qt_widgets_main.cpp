// Test main for programs that build widgets: they need a QApplication. Widget tests never
// need a real display, so the offscreen platform is the default (ctest also runs this
// program to list its tests, without the test environment).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
