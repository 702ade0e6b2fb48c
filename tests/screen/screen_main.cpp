// The screen tests share one QApplication, made as the library makes it (font included). Qt's
// offscreen platform draws without a display; ctest sets it, and so does a run by hand.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "platform/qt/application.h"

namespace {

std::unique_ptr<QApplication> g_application;

// Made on set-up, not in main, so that listing the tests needs no platform at all.
class ScreenEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    g_application = velmaris::MakeApplicationIfNone();
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ScreenEnvironment);
  const int status = RUN_ALL_TESTS();
  // Before the exit handlers run: Qt's own globals are gone by then.
  g_application.reset();
  return status;
}
