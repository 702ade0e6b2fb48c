// The bridge's own rules: which origins and Host headers pass the door, what the site lock
// decides and asks, and the protocol's answers on a stand-in control.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/bridge/calls.h"
#include "host/bridge/site_lock.h"
#include "platform/ui.h"
#include "tests/unit/host/fake_com.h"

namespace velmaris::host::bridge {
namespace {

using testing::FakeApi;
using testing::FakeControl;

TEST(BridgeDoor, OriginsAndHostHeaders) {
  struct {
    const char* origin;
    const char* normal;  // null: refused
  } origins[] = {
      {"https://cms.example", "https://cms.example"},
      {"HTTPS://Cms.Example:443", "https://cms.example"},
      {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
      {"http://[::1]:80", "http://[::1]"},
      {"http://cms.example:0", nullptr},
      {"http://cms.example:99999", nullptr},
      {"null", nullptr},
      {"file://", nullptr},
      {"https://cms.example/", nullptr},
      {"https://user@cms.example", nullptr},
      {"https://", nullptr},
      {"https://cms.example:", nullptr},
      {"https://cms_example.com", nullptr},
  };
  for (const auto& c : origins) {
    auto normal = NormalizeOrigin(c.origin);
    EXPECT_EQ(normal.value_or("-"), c.normal ? c.normal : "-") << c.origin;
  }
  struct {
    const char* host;
    bool loopback;
  } hosts[] = {
      {"127.0.0.1:9120", true},
      {"localhost:9120", true},
      {"[::1]:9120", true},
      {"LocalHost:9120", true},
      {"127.0.0.1", false},
      {"127.0.0.1:9121", false},
      {"evil.example:9120", false},
      {"127.0.0.2:9120", false},
      {"", false},
      {"[::1]", false},
      {"127.0.0.1:9120:1", false},
  };
  for (const auto& c : hosts) EXPECT_EQ(IsLoopbackHost(c.host, 9120), c.loopback) << c.host;
}

TEST(BridgeSiteLock, DecidesFromListsAndAsksOncePerOrigin) {
  SiteLock::Lists lists{{"https://admin.example"},
                        {"https://admin.example:8443", "https://no.example"}};
  std::vector<std::u16string> asked;
  std::vector<int> answers;  // given in turn
  std::vector<std::pair<std::string, bool>> remembered;
  SiteLock* lock_ptr = nullptr;
  std::vector<std::pair<std::string, bool>> nested;
  SiteLock lock(
      {"HTTPS://Args.Example"}, [&] { return lists; },
      [&](const std::string& origin, bool allowed, std::string&) {
        remembered.emplace_back(origin, allowed);
        return true;
      },
      [&](const std::u16string& text, int) {
        asked.push_back(text);
        // A second connection of the same page arrives while the first box is open.
        if (asked.size() == 1) {
          lock_ptr->Decide("https://new.example", [&](bool allowed) {
            nested.emplace_back("https://new.example", allowed);
          });
        }
        int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
      });
  lock_ptr = &lock;
  auto decide = [&](const std::string& origin) {
    std::optional<bool> result;
    lock.Decide(origin, [&](bool allowed) { result = allowed; });
    return result;
  };
  EXPECT_EQ(decide("https://args.example"), true);
  EXPECT_EQ(decide("https://admin.example"), true);
  EXPECT_EQ(decide("https://no.example"), false);
  EXPECT_TRUE(asked.empty());

  // Allowed, and remembered for good: one box each, the waiting connection answered with the first.
  answers = {msgbox::kYes, msgbox::kYes};
  EXPECT_EQ(decide("https://new.example"), true);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], u"允许 https://new.example 使用本机的上传和导入控件吗？");
  EXPECT_EQ(nested, (std::vector<std::pair<std::string, bool>>{{"https://new.example", true}}));
  EXPECT_EQ(remembered, (std::vector<std::pair<std::string, bool>>{{"https://new.example", true}}));
  // Asked once per run.
  EXPECT_EQ(decide("https://new.example"), true);
  EXPECT_EQ(asked.size(), 2u);

  // Refused for this run only.
  answers = {msgbox::kNo, msgbox::kNo};
  EXPECT_EQ(decide("https://other.example"), false);
  EXPECT_EQ(decide("https://other.example"), false);
  EXPECT_EQ(asked.size(), 4u);
  EXPECT_EQ(remembered.size(), 1u);

  // Nobody to ask: refused.
  SiteLock headless({}, nullptr, nullptr, nullptr);
  std::optional<bool> result;
  headless.Decide("https://new.example", [&](bool allowed) { result = allowed; });
  EXPECT_EQ(result, false);
}

TEST(BridgeCalls, AnswersRequestsAndRefusesBadOnes) {
  int made = 0;
  Calls calls(
      [&](std::string_view progid) -> std::variant<MadeControl, ScriptError> {
        if (progid != "Fake.Control") return HostError(kCannotCreateObject, u"ActiveXObject");
        ++made;
        return MadeControl{new FakeControl(), &FakeApi()};
      },
      nullptr);
  auto ask = [&](ConnectionId connection, const std::string& request) {
    return nlohmann::json::parse(calls.Answer(connection, request));
  };
  const auto created = ask(1, R"({"id":1,"op":"create","progId":"Fake.Control"})");
  ASSERT_TRUE(created.contains("control")) << created;
  const std::string control = std::to_string(created["control"].get<int>());
  const std::string on = R"(,"control":)" + control;

  struct {
    ConnectionId connection;
    std::string request;
    std::string expected;  // the reply without its id, or the error's number
  } cases[] = {
      {1, R"({"id":2,"op":"set","name":"Name","value":"名字")" + on + "}", "{}"},
      {1, R"({"id":3,"op":"get","name":"Name")" + on + "}", R"({"result":"名字"})"},
      {1, R"({"id":4,"op":"call","name":"Concat","args":["a","b"])" + on + "}",
       R"({"result":"ab"})"},
      {1, R"({"id":5,"op":"call","name":"Echo","args":[null])" + on + "}", R"({"result":null})"},
      {1, R"({"id":6,"op":"call","name":"Fail","args":[])" + on + "}", "-2146827831"},
      {1, R"({"id":7,"op":"call","name":"Nope","args":[])" + on + "}", "-2146827850"},
      {1, R"({"id":8,"op":"call","name":"Echo","args":[[1]])" + on + "}", "-2146828275"},
      {1, R"({"id":9,"op":"create","progId":"No.Such"})", "-2146827859"},
      {2, R"({"id":10,"op":"get","name":"Name")" + on + "}", "-2146827864"},
      {1, R"({"id":11,"op":"get","name":"Name","control":"1"})", "-2146827864"},
      {1, R"({"id":12,"op":"host","name":"messages"})", "-2146828283"},
      {1, R"({"id":13,"op":"form","name":"children")" + on + "}", "-2146828283"},
      {1, R"({"id":14,"op":"dance"})", "-2146828283"},
      {1, R"({"id":15})", "-2146828283"},
      {1, R"([1,2])", "-2146828283"},
      {1, R"({"id":16,"op":"call"})", "-2146827864"},
      {1, "{\"id\":17,\"op\":\"get\"" + on + "}", "-2146828283"},
  };
  for (const auto& c : cases) {
    auto reply = ask(c.connection, c.request);
    if (reply.contains("error")) {
      EXPECT_EQ(std::to_string(reply["error"]["number"].get<int>()), c.expected) << c.request;
    } else {
      reply.erase("id");
      EXPECT_EQ(reply.dump(), c.expected) << c.request;
    }
  }
  // The failing call's error as the control raised it.
  const auto failed = ask(1, R"({"id":"x","op":"call","name":"Fail")" + on + "}");
  EXPECT_EQ(failed["id"], "x");
  EXPECT_EQ(failed["error"]["source"], "Src");
  EXPECT_EQ(failed["error"]["description"], "重复");
  // Not JSON at all: answered without an id.
  EXPECT_EQ(ask(1, "{oops")["id"], nullptr);

  // A connection holds so many controls; closing it releases them all.
  while (calls.Held(3) < kControlsPerConnection)
    ask(3, R"({"op":"create","progId":"Fake.Control"})");
  EXPECT_EQ(ask(3, R"({"op":"create","progId":"Fake.Control"})")["error"]["number"], -2146827859);
  EXPECT_EQ(FakeControl::Live(), static_cast<int>(1 + kControlsPerConnection));
  calls.Drop(3);
  EXPECT_EQ(ask(1, R"({"op":"release")" + on + "}").dump(), R"({"id":null})");
  EXPECT_EQ(FakeControl::Live(), 0);
  EXPECT_EQ(testing::LiveStrings(), 0);
}

}  // namespace
}  // namespace velmaris::host::bridge
