#include "host/host_members.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/com_api.h"
#include "tests/unit/host/fake_com.h"

namespace velmaris::host {
namespace {

using namespace com;
using testing::FakeControl;

struct FakePage final : HostPage {
  const ComApi* Services(std::u16string& error) override {
    if (api == nullptr) error = u"没有库";
    return api;
  }
  void WriteLine(bool error_stream, std::u16string_view text) override {
    (error_stream ? errors : output) += std::u16string(text) + u"\n";
  }
  const ComApi* api = nullptr;
  std::u16string output, errors;
};

const Member& Find(std::span<const Member> members, std::string_view name) {
  for (const Member& member : members) {
    if (member.name == name) return member;
  }
  throw std::runtime_error("no member " + std::string(name));
}

class CountedCallback final : public Callback {
 public:
  explicit CountedCallback(int& runs, int& alive) : m_runs(runs), m_alive(alive) { ++m_alive; }
  ~CountedCallback() override { --m_alive; }
  bool Run() override { return ++m_runs, false; }

 private:
  int& m_runs;
  int& m_alive;
};

VelmarisLaterProc g_proc = nullptr;
void* g_context = nullptr;
HRESULT QueueLater(int32_t, VelmarisLaterProc proc, void* context) {
  g_proc = proc;
  g_context = context;
  return S_OK;
}

// What both engines raise for arguments a member cannot take, before the library is asked.
TEST(HostMembers, ArgumentsAreCheckedTheSameForEveryEngine) {
  FakeControl* control = new FakeControl;
  struct Case {
    const char* member;
    bool form;
    std::vector<std::optional<std::u16string>> texts;
    bool with_control;
    bool with_services;
    int32_t number;
  };
  const Case cases[] = {
      {"form", false, {std::nullopt}, false, true, kTypeMismatch},
      {"form", false, {std::nullopt}, true, true, E_NOTIMPL},  // the library has no form services
      {"closeForm", false, {std::nullopt}, false, true, kTypeMismatch},
      {"drop", true, {u"list", std::nullopt}, true, true, kTypeMismatch},
      {"answerMessageBox", false, {u"maybe"}, false, true, kInvalidArgument},
      {"readFile", false, {std::u16string(u"a\0b", 3)}, false, true, kBadFileName},
      {"include", false, {u"no such file.js"}, false, true, kFileNotFound},
      {"pump", false, {std::nullopt}, false, false, kCannotCreateObject},
      {"pump", false, {std::nullopt}, false, true, E_NOTIMPL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    FakePage page;
    page.api = c.with_services ? &testing::FakeApi() : nullptr;
    std::vector<Arg> args(2);
    for (size_t i = 0; i < c.texts.size(); ++i) args[i].text = c.texts[i];
    ObjectArg object{c.with_control ? control : nullptr, &testing::FakeApi()};
    if (!c.form) args[0].object = object;
    Call call{page, args, c.form ? object : ObjectArg{}};
    Answer answer;
    auto error = CallMember(Find(c.form ? FormMembers() : HostMembers(), c.member), call, answer);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, c.number);
    EXPECT_EQ(error->description, DescribeHresult(c.number));
    EXPECT_EQ(page.errors, c.with_services ? u"" : u"velmaris: 没有库\n");
  }
  control->Release();
  EXPECT_EQ(FakeControl::Live(), 0);
}

// host.later: a callback runs once from the loop, and one whose page has ended runs nothing and
// is let go; args travel as JSON whatever they hold.
TEST(HostMembers, LaterCallsAndArgs) {
  ComApi api = testing::FakeApi();
  api.later = QueueLater;
  int runs = 0, alive = 0;
  FakePage page;
  page.api = &api;
  page.args = {u"a\"b\\c", std::u16string(u"\n\x01", 2)};
  auto later = [&] {
    std::vector<Arg> args(2);
    args[1].callback = std::make_unique<CountedCallback>(runs, alive);
    Call call{page, args, {}};
    Answer answer;
    EXPECT_FALSE(CallMember(Find(HostMembers(), "later"), call, answer).has_value());
  };
  later();
  g_proc(g_context);
  g_proc(g_context);
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(page.later_failed);
  later();
  EXPECT_EQ(alive, 1);
  ForgetLaterCalls(page);
  EXPECT_EQ(alive, 0);
  g_proc(g_context);
  EXPECT_EQ(runs, 1);

  std::vector<Arg> none;
  Call call{page, none, {}};
  Answer answer;
  ASSERT_FALSE(CallMember(Find(HostMembers(), "args"), call, answer).has_value());
  EXPECT_EQ(answer.text, uR"(["a\"b\\c","\u000a\u0001"])");
}

}  // namespace
}  // namespace velmaris::host
