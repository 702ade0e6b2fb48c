// The library's screen services as a host calls them: the thread switches to windows only before
// its first control, a window holds its control until it is closed, screenshots and closing go
// through the control, the loop runs until the last window closes, and a handler's error is told
// to the user in a real message box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <thread>

#include "base/error.h"
#include "server/class_table.h"
#include "server/control_object.h"
#include "server/host_api.h"
#include "server/module1.h"
#include "tests/support/temp_dir.h"

namespace velmaris::server {
namespace {

using namespace com;

class FakeControl final : public ControlInstance {
 public:
  explicit FakeControl(bool& alive) : m_alive(alive) {
    m_alive = true;
    m_form.Add(ControlKind::kButton, u"Command1", {120, 120, 1200, 375}).SetText(u"出错");
    m_form[u"Command1"].on_click = [] { Raise(err::kFileNotFound); };
  }
  ~FakeControl() override { m_alive = false; }
  Form& GetForm() override { return m_form; }
  void Abandon() override {}

 private:
  bool& m_alive;
  Form m_form{u"窗体", 3000, 1500};
};

class ScreenServices : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(VelmarisUseScreen(), S_OK); }

  IUnknown* Make() {
    IUnknown* object = nullptr;
    EXPECT_EQ(
        WrapControl(ClassOf(ClassId::kFileUpload), binding, std::make_unique<FakeControl>(alive),
                    IID_IUnknown, reinterpret_cast<void**>(&object)),
        S_OK);
    return object;
  }

  ControlBinding binding{ClassId::kFileUpload, nullptr, {}};
  bool alive = false;
};

TEST(ScreenServicesHeadless, AThreadThatMadeAControlStaysHeadless) {
  HRESULT use = S_OK;
  HRESULT shot = S_OK;
  std::thread([&] {
    Module1::Current().GetPlatform();  // what making a control does
    use = VelmarisUseScreen();
    bool alive = false;
    ControlBinding binding{ClassId::kFileUpload, nullptr, {}};
    IUnknown* object = nullptr;
    WrapControl(ClassOf(ClassId::kFileUpload), binding, std::make_unique<FakeControl>(alive),
                IID_IUnknown, reinterpret_cast<void**>(&object));
    shot = VelmarisScreenshot(object, u"x.png");
    object->Release();
  }).join();
  EXPECT_EQ(use, E_UNEXPECTED);
  EXPECT_EQ(shot, E_UNEXPECTED);
}

TEST_F(ScreenServices, AWindowHoldsItsControlUntilItIsClosed) {
  EXPECT_EQ(VelmarisUseScreen(), S_OK);
  EXPECT_EQ(VelmarisAnswerMessageBox(1), E_UNEXPECTED) << "dialogs are real ones now";
  IUnknown* object = Make();
  EXPECT_EQ(VelmarisShowForm(object), S_OK);
  EXPECT_EQ(VelmarisShowForm(object), S_FALSE);

  testing::TempDir dir;
  const std::u16string png = dir.U16("窗体.png");
  EXPECT_EQ(VelmarisScreenshot(object, png.c_str()), S_OK);
  std::ifstream in(dir.Path() / "窗体.png", std::ios::binary);
  std::string magic(4, '\0');
  in.read(magic.data(), 4);
  EXPECT_EQ(magic, "\x89PNG");
  EXPECT_EQ(VelmarisScreenshot(object, dir.U16("no/such/folder.png").c_str()), E_FAIL);

  object->Release();
  EXPECT_TRUE(alive) << "the page let go, the window did not";
  // Closed from a later callback while the loop waits for the last window.
  static IUnknown* closing;
  closing = object;
  ASSERT_EQ(VelmarisLater(
                30, [](void*) { EXPECT_EQ(VelmarisCloseForm(closing), S_OK); }, nullptr),
            S_OK);
  EXPECT_EQ(VelmarisRunUntilFormsClosed(), S_OK);
  EXPECT_FALSE(alive);
}

TEST_F(ScreenServices, AClosedWindowClosesOnceAndAnErrorInAHandlerIsTold) {
  IUnknown* object = Make();
  ASSERT_EQ(VelmarisShowForm(object), S_OK);
  QString told;
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        told = box->text();
        box->accept();
      }
    });
    // The user clicks the button whose handler fails.
    for (auto* window : QApplication::topLevelWidgets()) {
      if (!window->isVisible() || window->windowTitle() != QStringLiteral("窗体")) continue;
      QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("Command1")),
                        Qt::LeftButton);
    }
  });
  Module1::Current().Loop().RunFor(std::chrono::milliseconds(100));
  EXPECT_EQ(told.toStdU16String(), DefaultDescription(err::kFileNotFound));

  EXPECT_EQ(VelmarisCloseForm(object), S_OK);
  EXPECT_EQ(VelmarisCloseForm(object), S_FALSE);
  EXPECT_TRUE(alive);
  object->Release();
  EXPECT_FALSE(alive);
}

}  // namespace
}  // namespace velmaris::server
