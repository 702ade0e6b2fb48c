// The screen tests share one QApplication, made as the library makes it (font included). Qt's
// offscreen platform draws without a display; ctest sets it, and so does a run by hand.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "platform/qt/application.h"

namespace {

class ScreenEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    m_application = velmaris::MakeApplicationIfNone();
  }
  void TearDown() override { m_application.reset(); }

 private:
  std::unique_ptr<QApplication> m_application;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ScreenEnvironment);
  return RUN_ALL_TESTS();
}
