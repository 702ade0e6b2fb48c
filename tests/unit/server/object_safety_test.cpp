#include "server/object_safety.h"

#include <gtest/gtest.h>

#include <thread>

#include "server/class_table.h"
#include "server/control_object.h"
#include "server/module1.h"

namespace velmaris::server {
namespace {

using namespace com;

constexpr uint32_t kUnwritten = 0xBADC0DE;

struct GetCase {
  const char* what;
  const IID* iid;
  HRESULT expected;
  uint32_t enabled;  // kUnwritten: left as it was
};

struct SetCase {
  const char* what;
  const IID* iid;
  uint32_t mask;
  uint32_t enabled;
  HRESULT expected;
};

// The controls here implement IDispatch alone of the interfaces IObjectSafety speaks for (the
// persistence interfaces come with the Windows build): the others are refused, not claimed.
const GetCase kGetCases[] = {
    {"IDispatch", &IID_IDispatch, S_OK, 1},
    {"IDispatchEx", &IID_IDispatchEx, E_NOINTERFACE, kUnwritten},
    {"IPersistPropertyBag", &IID_IPersistPropertyBag, E_NOINTERFACE, kUnwritten},
    {"IPersistStreamInit", &IID_IPersistStreamInit, E_NOINTERFACE, kUnwritten},
    {"IPersistStream", &IID_IPersistStream, E_NOINTERFACE, kUnwritten},
    {"IPersistStorage", &IID_IPersistStorage, E_NOINTERFACE, kUnwritten},
    {"IUnknown", &IID_IUnknown, E_NOINTERFACE, kUnwritten},
    {"IObjectSafety", &IID_IObjectSafety, E_NOINTERFACE, kUnwritten},
    {"null identifier", nullptr, S_OK, kUnwritten},
};

const SetCase kSetCases[] = {
    {"IDispatch for scripting", &IID_IDispatch, 1, 1, S_OK},
    {"IDispatch with a wider mask", &IID_IDispatch, 3, 1, S_OK},
    {"IDispatch for both", &IID_IDispatch, 3, 3, E_FAIL},
    {"IDispatch masked off", &IID_IDispatch, 1, 0, E_FAIL},
    {"IDispatch asking nothing", &IID_IDispatch, 0, 0, E_FAIL},
    {"IDispatch for initialising", &IID_IDispatch, 2, 2, E_FAIL},
    {"IDispatchEx for scripting", &IID_IDispatchEx, 1, 1, E_NOINTERFACE},
    {"IPersistPropertyBag for initialising", &IID_IPersistPropertyBag, 2, 2, E_NOINTERFACE},
    {"IUnknown", &IID_IUnknown, 1, 1, E_NOINTERFACE},
    {"null identifier", nullptr, 3, 3, S_OK},
};

void CheckAnswers(IObjectSafety& safety, const std::string& name) {
  for (const auto& c : kGetCases) {
    uint32_t supported = kUnwritten;
    uint32_t enabled = kUnwritten;
    EXPECT_EQ(safety.GetInterfaceSafetyOptions(c.iid, &supported, &enabled), c.expected)
        << name << ": get " << c.what;
    EXPECT_EQ(supported, 3u) << name << ": get " << c.what;
    EXPECT_EQ(enabled, c.enabled) << name << ": get " << c.what;
  }
  for (const auto& c : kSetCases) {
    EXPECT_EQ(safety.SetInterfaceSafetyOptions(c.iid, c.mask, c.enabled), c.expected)
        << name << ": set " << c.what;
  }
}

// Every control answers the same, through its own object.
TEST(ObjectSafety, EveryControlAnswersAsDocumented) {
  int checked = 0;
  for (const auto& info : Classes()) {
    if (FindBinding(info.id) == nullptr) continue;
    IObjectSafety* safety = nullptr;
    ASSERT_EQ(CreateControl(info.id, IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
    CheckAnswers(*safety, info.name);
    // Nothing is stored: a refused Set changes no later answer.
    safety->SetInterfaceSafetyOptions(&IID_IDispatch, 3, 3);
    uint32_t supported = 0;
    uint32_t enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u);
    safety->Release();
    ++checked;
  }
  EXPECT_GE(checked, 1);
}

// An object that implements a persistence interface is safe for initialising on it, with the
// mask the caller gives; never for scripting, and never both at once.
TEST(ObjectSafety, PersistenceAnswersOnlyWhereImplemented) {
  SafetyFlags on{true, true};
  const Implements bag_only = [](const IID& riid) {
    return riid == IID_IDispatch || riid == IID_IPersistPropertyBag;
  };
  uint32_t supported = 0;
  uint32_t enabled = kUnwritten;
  EXPECT_EQ(GetSafetyOptions(on, bag_only, &IID_IPersistPropertyBag, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 2u);
  enabled = kUnwritten;
  EXPECT_EQ(GetSafetyOptions(on, bag_only, &IID_IPersistStream, &supported, &enabled),
            E_NOINTERFACE);
  EXPECT_EQ(enabled, kUnwritten);
  const SetCase cases[] = {
      {"mask 3 enabled 2", &IID_IPersistPropertyBag, 3, 2, S_OK},
      {"mask 2 enabled 3", &IID_IPersistPropertyBag, 2, 3, S_OK},
      {"both", &IID_IPersistPropertyBag, 3, 3, E_FAIL},
      {"for scripting", &IID_IPersistPropertyBag, 1, 1, E_FAIL},
      {"an interface it lacks", &IID_IPersistStorage, 2, 2, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SetSafetyOptions(on, bag_only, c.iid, c.mask, c.enabled), c.expected) << c.what;
  }
}

// The flags are per thread and set by the module when the library is first used there.
TEST(ObjectSafety, AnswersFollowTheThreadsFlags) {
  SafetyFlags off;
  const Implements all = [](const IID&) { return true; };
  uint32_t supported = 0;
  uint32_t enabled = kUnwritten;
  EXPECT_EQ(GetSafetyOptions(off, all, &IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(SetSafetyOptions(off, all, &IID_IDispatch, 1, 1), E_FAIL);
  EXPECT_EQ(SetSafetyOptions(off, all, &IID_IPersistStream, 2, 2), E_FAIL);

  SafetyFlags other_thread;
  std::thread([&] { other_thread = Module1::Current().Safety(); }).join();
  EXPECT_TRUE(other_thread.SafeForScripting);
  EXPECT_TRUE(other_thread.SafeForInitializing);
}

}  // namespace
}  // namespace velmaris::server
