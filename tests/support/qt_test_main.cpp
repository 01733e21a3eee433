// The main of every test suite that needs widgets: a QApplication lives for the whole run.
// Without a display the suite falls back to Qt's offscreen platform, so listing or running the
// tests by hand works on a headless machine as it does under ctest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
