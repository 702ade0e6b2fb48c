// The Win32 form window: where the controls go (a frame's inside it), the model shown as it
// changes, and a user's input fed back to the model as the Qt renderer feeds it. Needs a desktop
// (tests/windows/screens.sh runs it on an X server); skipped without one.
#include "platform/win32/form_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "platform/win32/form_screen.h"

namespace velmaris {
namespace {

using enum ControlKind;

constexpr ControlRow kRows[] = {
    {kButton, u"Go", {150, 300, 1500, 450}, u"", u"开始"},
    {kFrame, u"Box", {1800, 150, 3000, 2400}, u"", u"设置"},
    {kOptionButton, u"A", {120, 300, 1200, 300}, u"Box", u"甲", row::kTicked},
    {kOptionButton, u"B", {120, 700, 1200, 300}, u"Box", u"乙"},
    {kCheckBox, u"Tick", {120, 1100, 1200, 300}, u"Box", u"勾"},
    {kTextBox, u"Name", {150, 900, 1500, 300}},
    {kTextBox, u"Log", {150, 1300, 1500, 900}},
    {kListBox, u"List", {150, 2300, 1500, 900}},
};

class FormWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!Win32FormScreen::CanShowWindows()) GTEST_SKIP() << "no desktop to show windows on";
    parent = CreateWindowExW(0, WC_STATICW, L"", WS_POPUP | WS_VISIBLE, 0, 0, 600, 400, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    window = FormWindow::Create(form, parent, POINT{5, 7});
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    window.reset();
    if (parent != nullptr) DestroyWindow(parent);
  }
  // Where a control lies within its parent window, in pixels.
  RECT Placed(std::u16string_view name) {
    HWND control = window->Control(name);
    RECT area;
    GetWindowRect(control, &area);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&area), 2);
    return area;
  }

  Form form{u"窗体", 5000, 3600, kRows};
  HWND parent = nullptr;
  std::unique_ptr<FormWindow> window;
};

TEST_F(FormWindowTest, ControlsLieWhereTheirTwipsSayInsideTheirFrames) {
  const struct {
    const char16_t* name;
    const char16_t* parent;  // null for the form itself
  } cases[] = {{u"Go", nullptr}, {u"Box", nullptr}, {u"A", u"Box"}, {u"Tick", u"Box"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<char>(c.name[0]));
    HWND expected_parent = c.parent != nullptr ? window->Control(c.parent) : window->Window();
    EXPECT_EQ(GetParent(window->Control(c.name)), expected_parent);
    const Rect& twips = form[c.name].Geometry();
    const RECT placed = Placed(c.name);
    EXPECT_EQ(placed.left, window->Pixels(twips.left));
    EXPECT_EQ(placed.top, window->Pixels(twips.top));
    EXPECT_EQ(placed.right - placed.left, window->Pixels(twips.width));
  }
  RECT whole;
  GetWindowRect(window->Window(), &whole);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&whole), 2);
  EXPECT_EQ(whole.left, 5);
  EXPECT_EQ(whole.top, 7);
  EXPECT_EQ(whole.right - whole.left, window->PixelSize().cx);
  EXPECT_EQ(window->PixelSize().cx, MulDiv(5000, window->Pixels(1440), 1440));
}

TEST_F(FormWindowTest, TheModelIsShownAndTheUsersInputGoesToIt) {
  int clicks = 0, changes = 0;
  form[u"List"].on_click = [&] { ++clicks; };
  form[u"Name"].on_change = [&] { ++changes; };
  form[u"B"].on_click = [&] { ++clicks; };

  // The model, shown: no feedback into its handlers.
  form[u"Tick"].SetChecked(2);
  EXPECT_EQ(SendMessageW(window->Control(u"Tick"), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  form[u"Log"].SetText(u"一\n二");
  wchar_t text[16] = {};
  GetWindowTextW(window->Control(u"Log"), text, 16);
  EXPECT_STREQ(text, L"一\r\n二");
  form[u"Name"].SetText(u"旧");
  for (const char16_t* item : {u"甲", u"乙", u"丙"}) form[u"List"].AddItem(item);
  form[u"List"].SetListIndex(2);
  EXPECT_EQ(SendMessageW(window->Control(u"List"), LB_GETCURSEL, 0, 0), 2);
  form[u"Box"].SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(window->Control(u"A")));
  form[u"Box"].SetVisible(true);
  EXPECT_EQ(changes + clicks, 0);

  // The user's input, into the model and then its handler.
  SendMessageW(window->Control(u"B"), BM_CLICK, 0, 0);
  EXPECT_EQ(form[u"B"].Checked(), 1);
  EXPECT_EQ(form[u"A"].Checked(), 0);
  EXPECT_EQ(SendMessageW(window->Control(u"A"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  HWND list = window->Control(u"List");
  const auto item_height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, item_height + 2));
  SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(5, item_height + 2));
  EXPECT_EQ(form[u"List"].ListIndex(), 1);
  EXPECT_EQ(clicks, 2);
  SendMessageW(window->Control(u"Name"), WM_CHAR, L'新', 0);
  EXPECT_EQ(changes, 1);
  EXPECT_NE(form[u"Name"].Text().find(u'新'), std::u16string::npos);

  // Tab goes through the controls in the model's order, into the frame, where it lands on the
  // chosen option and chooses none.
  window->FocusFirst();
  EXPECT_EQ(GetFocus(), window->Control(u"Go"));
  MSG tab{};
  tab.hwnd = window->Control(u"Go");
  tab.message = WM_KEYDOWN;
  tab.wParam = VK_TAB;
  EXPECT_TRUE(window->TranslateAccelerator(&tab));
  EXPECT_EQ(GetFocus(), window->Control(u"B"));
  EXPECT_EQ(form[u"A"].Checked(), 0);
  tab.hwnd = GetFocus();
  EXPECT_TRUE(window->TranslateAccelerator(&tab));
  EXPECT_EQ(GetFocus(), window->Control(u"Tick"));
}

}  // namespace
}  // namespace velmaris
