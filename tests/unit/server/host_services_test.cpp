#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/headless/headless_ui.h"
#include "server/class_table.h"
#include "server/control_object.h"
#include "server/host_api.h"
#include "server/module1.h"
#include "tests/unit/server/dispatch_helpers.h"

namespace velmaris::server {
namespace {

using namespace com;
using testing::Excep;

// A control whose form has one of each kind of child the actions reach.
class FakeControl final : public ControlInstance {
 public:
  FakeControl() {
    Watch(m_form.Add(ControlKind::kButton, u"Command1", {120, 240, 975, 375}));
    Watch(m_form.Add(ControlKind::kTextBox, u"Text1", {0, 0, 100, 20}));
    auto& list = Watch(m_form.Add(ControlKind::kListBox, u"List1", {0, 0, 100, 100}));
    for (auto item : {u"a", u"b", u"c"}) list.AddItem(item);
    auto& multi = Watch(m_form.Add(ControlKind::kListBox, u"List2", {0, 0, 100, 100}));
    multi.SetMultiSelect(true);
    for (auto item : {u"x", u"y", u"z"}) multi.AddItem(item);
    auto& combo = Watch(m_form.Add(ControlKind::kComboBox, u"Combo1", {0, 0, 100, 20}));
    for (auto item : {u"红", u"绿"}) combo.AddItem(item);
    m_form.Add(ControlKind::kFrame, u"Frame1", {0, 0, 500, 500});
    Watch(m_form.Add(ControlKind::kOptionButton, u"Option1", {0, 0, 10, 10}, u"Frame1"));
    Watch(m_form.Add(ControlKind::kOptionButton, u"Option2", {0, 0, 10, 10}, u"Frame1"));
    Watch(m_form.Add(ControlKind::kOptionButton, u"Option3", {0, 0, 10, 10}));
    Watch(m_form.Add(ControlKind::kCheckBox, u"Check1", {0, 0, 10, 10}));
    m_form.Add(ControlKind::kLabel, u"Label1", {1, 2, 3, 4}).SetText(u"say \"hi\"\\\n\t错误\x01");
    m_form.Add(ControlKind::kFrame, u"Frame2", {0, 0, 500, 500}).SetEnabled(false);
    Watch(m_form.Add(ControlKind::kButton, u"Command2", {0, 0, 10, 10}, u"Frame2"));
    Watch(m_form.Add(ControlKind::kButton, u"Command3", {0, 0, 10, 10})).SetEnabled(false);
    Watch(m_form.Add(ControlKind::kButton, u"Raise", {0, 0, 10, 10})).on_click = [] {
      Raise(err::kPackage, u"CompondFile:AddUploadFile Method");
    };
  }
  Form& GetForm() override { return m_form; }
  void Abandon() override {}

  std::map<std::u16string, int> clicks;
  std::map<std::u16string, int> changes;
  std::vector<std::u16string> dropped;
  int hovered = -99;

 private:
  FormControl& Watch(FormControl& control) {
    std::u16string name = control.Name();
    control.on_click = [this, name] { ++clicks[name]; };
    control.on_change = [this, name] { ++changes[name]; };
    control.on_drop = [this](const std::vector<std::u16string>& paths) { dropped = paths; };
    control.on_hover_item = [this](int index) { hovered = index; };
    return control;
  }

  Form m_form{u"Fake", 6000, 4000};
};

class HostServices : public ::testing::Test {
 protected:
  void SetUp() override {
    auto made = std::make_unique<FakeControl>();
    fake = made.get();
    ASSERT_EQ(WrapControl(ClassOf(ClassId::kFileUpload), binding, std::move(made), IID_IUnknown,
                          reinterpret_cast<void**>(&object)),
              S_OK);
  }
  void TearDown() override { object->Release(); }

  HRESULT Act(const char16_t* name, const char16_t* action, const VARIANT* argument = nullptr,
              EXCEPINFO* excep = nullptr) {
    return VelmarisFormAct(object, name, action, argument, excep);
  }
  FormControl& Child(const char16_t* name) { return fake->GetForm()[name]; }
  static std::u16string Take(BSTR text) {
    std::u16string out = BstrText(text);
    SysFreeString(text);
    return out;
  }

  ControlBinding binding{ClassId::kFileUpload, nullptr, {}};
  FakeControl* fake = nullptr;
  IUnknown* object = nullptr;
};

TEST_F(HostServices, ActionsDriveTheFormAsAUserWould) {
  Variant text(std::u16string_view(u"新的"));
  Variant one(int32_t{1});
  Variant two(int32_t{2});
  Variant three(int32_t{3});
  Variant truth(true);
  Variant paths(std::u16string_view(u"[\"C:\\\\a \\\"b\\\".doc\", \"\\u9519.txt\"]"));

  // Each action, then what the form and its handlers show afterwards.
  const struct {
    const char* what;
    const char16_t* name;
    const char16_t* action;
    const VARIANT* argument;
    HRESULT expected;
    std::function<void()> check;
  } cases[] = {
      {"click", u"Command1", u"click", nullptr, S_OK,
       [&] { EXPECT_EQ(fake->clicks[u"Command1"], 1); }},
      {"text typed", u"Text1", u"setText", &text.Get(), S_OK,
       [&] {
         EXPECT_EQ(Child(u"Text1").Text(), u"新的");
         EXPECT_EQ(fake->changes[u"Text1"], 1);
       }},
      {"list item chosen", u"List1", u"select", &one.Get(), S_OK,
       [&] {
         EXPECT_EQ(Child(u"List1").ListIndex(), 1);
         EXPECT_EQ(fake->clicks[u"List1"], 1);
       }},
      {"item beyond the list", u"List1", u"select", &three.Get(), E_INVALIDARG,
       [&] { EXPECT_EQ(Child(u"List1").ListIndex(), 1); }},
      {"ctrl+click adds to a selection", u"List2", u"toggle", &two.Get(), S_OK,
       [&] { EXPECT_TRUE(Child(u"List2").Selected(2)); }},
      {"plain click selects only that item", u"List2", u"select", &one.Get(), S_OK,
       [&] {
         EXPECT_FALSE(Child(u"List2").Selected(2));
         EXPECT_TRUE(Child(u"List2").Selected(1));
       }},
      {"ctrl+click again deselects", u"List2", u"toggle", &one.Get(), S_OK,
       [&] { EXPECT_FALSE(Child(u"List2").Selected(1)); }},
      {"drop-down shows the chosen entry", u"Combo1", u"select", &one.Get(), S_OK,
       [&] { EXPECT_EQ(Child(u"Combo1").Text(), u"绿"); }},
      {"option chosen", u"Option1", u"check", &truth.Get(), S_OK,
       [&] { EXPECT_EQ(Child(u"Option1").Checked(), 1); }},
      {"option beside it", u"Option2", u"check", &one.Get(), S_OK,
       [&] {
         EXPECT_EQ(Child(u"Option1").Checked(), 0);
         EXPECT_EQ(Child(u"Option2").Checked(), 1);
         EXPECT_EQ(fake->clicks[u"Option2"], 1);
       }},
      {"option in another container", u"Option3", u"check", &one.Get(), S_OK,
       [&] { EXPECT_EQ(Child(u"Option2").Checked(), 1); }},
      {"check box greyed", u"Check1", u"check", &two.Get(), S_OK,
       [&] { EXPECT_EQ(Child(u"Check1").Checked(), 2); }},
      {"check box beyond grey", u"Check1", u"check", &three.Get(), E_INVALIDARG,
       [&] { EXPECT_EQ(fake->clicks[u"Check1"], 1); }},
      // A click does what a person's click does before the control hears it.
      {"option clicked", u"Option1", u"click", nullptr, S_OK,
       [&] {
         EXPECT_EQ(Child(u"Option1").Checked(), 1);
         EXPECT_EQ(Child(u"Option2").Checked(), 0);
         EXPECT_EQ(Child(u"Option3").Checked(), 1);
         EXPECT_EQ(fake->clicks[u"Option1"], 2);
       }},
      {"grey check box clicked", u"Check1", u"click", nullptr, S_OK,
       [&] { EXPECT_EQ(Child(u"Check1").Checked(), 1); }},
      {"ticked check box clicked", u"Check1", u"click", nullptr, S_OK,
       [&] {
         EXPECT_EQ(Child(u"Check1").Checked(), 0);
         EXPECT_EQ(fake->clicks[u"Check1"], 3);
       }},
      {"files dropped", u"List1", u"drop", &paths.Get(), S_OK,
       [&] {
         EXPECT_EQ(fake->dropped, (std::vector<std::u16string>{u"C:\\a \"b\".doc", u"错.txt"}));
       }},
      {"drop of no list", u"List1", u"drop", &text.Get(), E_INVALIDARG, [] {}},
      {"mouse over an item", u"List1", u"hover", &two.Get(), S_OK,
       [&] { EXPECT_EQ(fake->hovered, 2); }},
      {"disabled button", u"Command3", u"click", nullptr, E_ACCESSDENIED,
       [&] { EXPECT_EQ(fake->clicks[u"Command3"], 0); }},
      {"button in a disabled frame", u"Command2", u"click", nullptr, E_ACCESSDENIED,
       [&] { EXPECT_EQ(fake->clicks[u"Command2"], 0); }},
      {"unknown child", u"Command9", u"click", nullptr, E_INVALIDARG, [] {}},
      {"unknown action", u"Command1", u"doubleClick", nullptr, E_INVALIDARG, [] {}},
      {"select without an index", u"List1", u"select", nullptr, E_INVALIDARG, [] {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Act(c.name, c.action, c.argument), c.expected) << c.what;
    c.check();
  }
}

TEST_F(HostServices, HandlerErrorsComeBackAsExceptionInfo) {
  Excep excep;
  EXPECT_EQ(Act(u"Raise", u"click", nullptr, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<uint32_t>(excep.scode), 0x800A270Fu);
  EXPECT_EQ(excep.Source(), u"CompondFile:AddUploadFile Method");

  // Something that is not a control of this library has no form to act on.
  IUnknown* factory = nullptr;
  ASSERT_EQ(DllGetClassObject(ClassOf(ClassId::kFileUpload).clsid, IID_IUnknown,
                              reinterpret_cast<void**>(&factory)),
            S_OK);
  BSTR json = nullptr;
  EXPECT_EQ(VelmarisFormChildren(factory, &json), E_NOINTERFACE);
  EXPECT_EQ(VelmarisFormAct(factory, u"Command1", u"click", nullptr, nullptr), E_NOINTERFACE);
  factory->Release();
}

TEST_F(HostServices, FormStateAsJson) {
  BSTR json = nullptr;
  ASSERT_EQ(VelmarisFormChildren(object, &json), S_OK);
  std::u16string children = Take(json);
  EXPECT_EQ(children.substr(0, 32), u"[\"Command1\",\"Text1\",\"List1\",\"Lis");

  ASSERT_EQ(VelmarisFormGet(object, u"Label1", &json), S_OK);
  EXPECT_EQ(Take(json),
            u"{\"name\":\"Label1\",\"kind\":\"Label\",\"container\":\"\","
            u"\"caption\":\"say \\\"hi\\\"\\\\\\n\\t错误\\u0001\","
            u"\"text\":\"say \\\"hi\\\"\\\\\\n\\t错误\\u0001\",\"enabled\":true,\"visible\":true,"
            u"\"value\":0,\"checked\":0,\"items\":[],\"selected\":[],\"listIndex\":-1,"
            u"\"multiSelect\":false,\"left\":1,"
            u"\"top\":2,\"width\":3,\"height\":4,\"toolTip\":\"\",\"picture\":\"\"}");

  Variant two(int32_t{2});
  ASSERT_EQ(Act(u"List2", u"toggle", &two.Get()), S_OK);
  ASSERT_EQ(VelmarisFormGet(object, u"List2", &json), S_OK);
  std::u16string list = Take(json);
  EXPECT_NE(list.find(u"\"items\":[\"x\",\"y\",\"z\"],\"selected\":[2],\"listIndex\":2"),
            std::u16string::npos)
      << codepage::ToUtf8(list);

  EXPECT_EQ(VelmarisFormGet(object, u"Nothing", &json), E_INVALIDARG);
  EXPECT_EQ(json, nullptr);
  EXPECT_EQ(VelmarisFormGet(object, u"Label1", nullptr), E_POINTER);
}

TEST(HostServicesThread, MessagesAnswersAndPump) {
  auto& ui = dynamic_cast<HeadlessUi&>(*Module1::Current().Headless());
  ui.ClearHistory();
  ASSERT_EQ(VelmarisAnswerMessageBox(7), S_OK);
  ASSERT_EQ(VelmarisAnswerFileDialog(u"C:\\d\0a.doc\0b.doc", 16), S_OK);
  ASSERT_EQ(VelmarisAnswerFolder(nullptr), S_OK);
  EXPECT_EQ(ui.MessageBox(u"确定删除？", msgbox::kYesNo | msgbox::kQuestion, u"删除"), msgbox::kNo);
  EXPECT_EQ(ui.OpenFileDialog({}), std::u16string(u"C:\\d\0a.doc\0b.doc", 16));
  EXPECT_EQ(ui.BrowseForFolder(u"选择目录"), std::nullopt);

  BSTR json = nullptr;
  ASSERT_EQ(VelmarisMessages(&json), S_OK);
  std::u16string messages = BstrText(json);
  SysFreeString(json);
  EXPECT_EQ(messages.substr(0, messages.find(u"},") + 1),
            u"[{\"kind\":\"msgbox\",\"text\":\"确定删除？\",\"caption\":\"删除\",\"buttons\":4,"
            u"\"icon\":32,\"answer\":7}");
  EXPECT_NE(messages.find(u"{\"kind\":\"folder\",\"text\":\"\",\"caption\":\"选择目录\","),
            std::u16string::npos);

  bool ran = false;
  Module1::Current().Loop().Post([&] { ran = true; });
  EXPECT_EQ(VelmarisPump(0), S_OK);
  EXPECT_TRUE(ran);
  EXPECT_EQ(VelmarisPump(-1), E_INVALIDARG);
}

}  // namespace
}  // namespace velmaris::server
