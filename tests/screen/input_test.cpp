// What a user does to the windows reaches the model and the control's handlers, and what the
// control does to its model shows on screen: clicks, ticks, typing, choices, list selection,
// hovering, files dropped from the desktop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>
#include <functional>

#include "platform/qt/form_renderer.h"
#include "platform/qt/form_windows.h"
#include "tests/screen/screen_world.h"

namespace velmaris::testing {
namespace {

using namespace std::string_literals;

template <class W>
W* As(FormRenderer& window, std::u16string_view name) {
  auto* widget = dynamic_cast<W*>(window.Widget(name));
  EXPECT_NE(widget, nullptr) << Q(name).toStdString();
  return widget;
}

void ClickItem(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {}) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                    list->visualItemRect(list->item(row)).center());
}

void Drop(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const auto& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

class InputTest : public ::testing::Test {
 protected:
  ScreenWorld world;
  OfficeImport office{world.platform};
  Form& form = office.GetForm();
  FormRenderer window{form};

  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

// The add button, clicked through Qt, asks the open-file dialog for documents: the classic filter,
// several at once, and the answer's two files go into the list and onto the screen.
TEST_F(InputTest, AddButtonOpensTheFileDialogAndListsTheChoice) {
  world.ui.QueueFileDialogAnswer(u"/home/编辑\0甲.doc\0乙.txt"s);
  QTest::mouseClick(As<QPushButton>(window, u"Command1"), Qt::LeftButton);
  ASSERT_EQ(world.ui.History().size(), 1u);
  EXPECT_EQ(world.ui.History()[0].kind, u"filedialog");
  EXPECT_NE(world.ui.History()[0].text.find(u"Word文档"), std::u16string::npos);
  const std::vector<std::u16string> listed = {u"/home/编辑/甲.doc", u"/home/编辑/乙.txt"};
  EXPECT_EQ(form[u"List1"].Items(), listed);
  auto* list = As<QListWidget>(window, u"List1");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("/home/编辑/乙.txt"));
}

TEST_F(InputTest, FilesDroppedFromTheDesktopAreListedOnceEach) {
  auto* list = As<QListWidget>(window, u"List1");
  Drop(list->viewport(), {QStringLiteral("/tmp/报告.doc"), QStringLiteral("/tmp/a b.txt")});
  const std::vector<std::u16string> listed = {u"/tmp/报告.doc", u"/tmp/a b.txt"};
  EXPECT_EQ(form[u"List1"].Items(), listed);
  EXPECT_EQ(list->count(), 2);
  Drop(list->viewport(), {QStringLiteral("/tmp/报告.doc")});
  EXPECT_EQ(list->count(), 2);
}

TEST_F(InputTest, ListSelectionHoverTooltipAndDelete) {
  form[u"List1"].AddItem(u"/d/一.doc");
  form[u"List1"].AddItem(u"/d/二.txt");
  form[u"List1"].AddItem(u"/d/三.xls");
  auto* list = As<QListWidget>(window, u"List1");
  ASSERT_EQ(list->count(), 3);

  // One entry at a time in this list, Ctrl or not.
  ClickItem(list, 1);
  EXPECT_EQ(form[u"List1"].ListIndex(), 1);
  EXPECT_TRUE(form[u"List1"].Selected(1));
  ClickItem(list, 2, Qt::ControlModifier);
  EXPECT_EQ(form[u"List1"].ListIndex(), 2);
  EXPECT_FALSE(form[u"List1"].Selected(1));
  EXPECT_TRUE(form[u"List1"].Selected(2));

  // The control keeps a tooltip for the item under the mouse; the list shows it.
  QTest::mouseMove(list->viewport(), list->visualItemRect(list->item(0)).center());
  EXPECT_EQ(form[u"List1"].ToolTip(), u"/d/一.doc");
  EXPECT_EQ(list->toolTip(), QStringLiteral("/d/一.doc"));

  QTest::mouseClick(As<QPushButton>(window, u"Command2"), Qt::LeftButton);
  const std::vector<std::u16string> left = {u"/d/一.doc", u"/d/二.txt"};
  EXPECT_EQ(form[u"List1"].Items(), left);
  EXPECT_EQ(list->count(), 2);
}

TEST_F(InputTest, AMultiSelectListTakesCtrlClicks) {
  ImageUpload pictures(world.platform);
  Form& picture_form = pictures.GetForm();
  FormRenderer picture_window(picture_form);
  picture_window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&picture_window));
  FormControl& model = picture_form[u"lstFileList"];
  for (const char* name : {"a.jpg", "B.bmp", "c.gif"}) {
    model.AddItem(QDir(VELMARIS_SOURCE_DIR)
                      .filePath(QStringLiteral("tests/data/image/") + name)
                      .toStdU16String());
  }
  auto* list = As<QListWidget>(picture_window, u"lstFileList");
  ClickItem(list, 0);
  ClickItem(list, 2, Qt::ControlModifier);
  EXPECT_EQ(model.ListIndex(), 2);
  EXPECT_TRUE(model.Selected(0));
  EXPECT_FALSE(model.Selected(1));
  EXPECT_TRUE(model.Selected(2));
  // The control's click handler showed the picture clicked last.
  EXPECT_EQ(picture_form[u"imgPreview"].Picture(), model.Items()[2]);
  EXPECT_FALSE(As<QLabel>(picture_window, u"imgPreview")->pixmap().isNull());
}

// Each row: what the user does on screen, what the model then holds, and what the control does to
// the model afterwards, which the screen must show.
TEST_F(InputTest, EachKindFollowsTheUserAndTheModel) {
  ImageImport pictures(world.platform);
  Form& picture_form = pictures.GetForm();
  FormRenderer picture_window(picture_form);
  picture_window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&picture_window));

  struct Case {
    const char* what;
    std::function<void()> user;
    std::function<bool()> model_after_user;
    std::function<void()> control;
    std::function<bool()> screen_after_control;
  };
  const Case cases[] = {
      {"check box", [&] { QTest::mouseClick(As<QCheckBox>(window, u"Check1"), Qt::LeftButton); },
       [&] { return form[u"Check1"].Checked() == 1; }, [&] { form[u"Check1"].SetChecked(2); },
       [&] { return As<QCheckBox>(window, u"Check1")->checkState() == Qt::PartiallyChecked; }},
      {"text box",
       [&] {
         auto* box = As<QLineEdit>(window, u"txtWidth");
         box->setFocus();
         box->end(false);
         QTest::keyClicks(box, "12");
       },
       [&] { return form[u"txtWidth"].Text() == u"80012"; },
       [&] { form[u"txtWidth"].SetText(u"640"); },
       [&] { return As<QLineEdit>(window, u"txtWidth")->text() == QStringLiteral("640"); }},
      {"option button",
       [&] { QTest::mouseClick(As<QRadioButton>(picture_window, u"opOnePic"), Qt::LeftButton); },
       [&] {
         return picture_form[u"opOnePic"].Checked() == 1 && picture_form[u"opOneC"].Checked() == 0;
       },
       [&] {
         picture_form[u"opOnePic"].SetChecked(0);
         picture_form[u"opOneCPagging"].SetChecked(1);
       },
       [&] {
         return !As<QRadioButton>(picture_window, u"opOnePic")->isChecked() &&
                As<QRadioButton>(picture_window, u"opOneCPagging")->isChecked() &&
                !As<QRadioButton>(picture_window, u"opOneC")->isChecked();
       }},
      {"drop-down",
       [&] {
         auto* combo = As<QComboBox>(picture_window, u"cmbScale");
         combo->setFocus();
         QTest::keyClick(combo, Qt::Key_Down);
       },
       [&] {
         const auto& scale = picture_form[u"cmbScale"];
         return scale.ListIndex() >= 0 &&
                scale.Text() == scale.Items()[static_cast<size_t>(scale.ListIndex())];
       },
       [&] { picture_form[u"cmbScale"].SetListIndex(0); },
       [&] { return As<QComboBox>(picture_window, u"cmbScale")->currentIndex() == 0; }},
      {"enabled and visible", [&] {}, [&] { return true; },
       [&] {
         form[u"Command3"].SetEnabled(false);
         form[u"pbFile"].SetVisible(true);
         form[u"pbFile"].SetValue(42.4);
       },
       [&] {
         return !As<QPushButton>(window, u"Command3")->isEnabled() &&
                As<QProgressBar>(window, u"pbFile")->isVisible() &&
                As<QProgressBar>(window, u"pbFile")->value() == 42;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.user();
    EXPECT_TRUE(c.model_after_user());
    c.control();
    EXPECT_TRUE(c.screen_after_control());
  }
}

// A window closed while one of its handlers runs (a batch behind a button, say) keeps its control
// until the handler returns, and goes itself only after that.
TEST(WindowLifetime, ClosingDuringAHandlerKeepsTheControlUntilItReturns) {
  Form form(u"批量", 3000, 1500);
  FormControl& button = form.Add(ControlKind::kButton, u"Command1", {120, 120, 1200, 375});
  FormControl& label = form.Add(ControlKind::kLabel, u"Label1", {120, 600, 1200, 255});
  FormWindows windows;
  bool released = false;
  FormRenderer& window =
      windows.Show(form, std::shared_ptr<void>(nullptr, [&](void*) { released = true; }));
  QPointer<FormRenderer> alive(&window);
  bool held_during = false;
  button.on_click = [&] {
    EXPECT_TRUE(windows.Close(form));
    QCoreApplication::processEvents();  // a wait inside the handler
    label.SetText(u"仍在运行");         // the closed window follows the form no more
    held_during = !released && !alive.isNull();
  };
  QTest::mouseClick(dynamic_cast<QPushButton*>(window.Widget(u"Command1")), Qt::LeftButton);
  EXPECT_TRUE(held_during);
  EXPECT_TRUE(released);
  EXPECT_EQ(windows.OpenCount(), 0u);
  QCoreApplication::processEvents();
  EXPECT_TRUE(alive.isNull());
}

}  // namespace
}  // namespace velmaris::testing
