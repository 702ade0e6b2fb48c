#include "host/dispatch_proxy.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/unit/host/fake_com.h"

namespace velmaris::host {
namespace {

using namespace com;
using testing::Eval;
using testing::FakeControl;

// Script access to a dispatch object, from the page's point of view.
TEST(DispatchProxy, ScriptAccessMapsOntoGetIDsOfNamesAndInvoke) {
  struct Case {
    const char* script;
    const char* expected;
  };
  const Case cases[] = {
      {"o.Name", ""},
      {"o.Name = '名字'; o.name", "名字"},  // put travels as the named DISPID_PROPERTYPUT
      {"o.NAME = 'x\\uD83D\\uDE00'; o.Name.length", "3"},
      {"o.Concat('a', 'b')", "ab"},  // arguments reach Invoke in reverse order
      {"var f = o.concat; f('1', '2')", "12"},
      {"typeof o.Concat", "function"},
      {"o.Child.Name = 'c'; o.Child.Name", ""},  // each read makes a new child
      {"var c = o.Child; c.Name = 'c'; c.Name", "c"},
      {"'Name' in o", "true"},
      {"'Missing' in o", "false"},
      {"String(o)", "[object]"},
      {"JSON.stringify({a: 1, c: o})", "{\"a\":1,\"c\":{}}"},
      // Raised errors: number is the scode as signed 32 bits, with the control's texts.
      {"o.Fail()", "throw: -2146827831|重复|Src"},
      {"o.Legacy()", "throw: -2146828235|文件未找到|"},
      // Failures without EXCEPINFO are reported as their HRESULT with our own texts.
      {"o.Missing", "throw: -2147352570|对象不支持此属性或方法|"},
      {"o.Missing()", "throw: -2147352570|对象不支持此属性或方法|"},
      {"o.Missing = 1", "throw: -2147352570|对象不支持此属性或方法|"},
      {"o.Child = 1", "throw: -2147352573|对象不支持此属性或方法|"},
      {"o.Name = 5", "throw: -2147352571|类型不匹配|"},
      {"o.Concat('a')", "throw: -2147352562|错误的参数个数或无效的属性赋值|"},
      {"o.Echo({})", "throw: -2146828275|类型不匹配|"},
      // Values through a call and back.
      {"o.Echo(undefined) === undefined", "true"},
      {"o.Echo(null) === null", "true"},
      {"o.Echo(-1) === -1 && o.Echo(2.5) === 2.5", "true"},
      {"o.Echo('a\\u0000b') === 'a\\u0000b'", "true"},
      {"o.Name = 'self'; o.Echo(o).Name", "self"},
  };
  FakeControl* control = nullptr;
  duk_context* ctx = testing::NewEngineWithControl(&control);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(Eval(ctx, c.script), c.expected);
  }
  // Reading a member asks the type information what it is: a method is not called to find out.
  const int invokes = control->invokes;
  EXPECT_EQ(Eval(ctx, "typeof o.Fail + typeof o.Legacy + typeof o.Name"), "functionfunctionstring");
  EXPECT_EQ(control->invokes, invokes + 1);
  Eval(ctx, "o.Echo(1, 'a', true, null, undefined, 3.5)");
  EXPECT_EQ(control->echo_types,
            (std::vector<VARTYPE>{VT_I4, VT_BSTR, VT_BOOL, VT_NULL, VT_ERROR, VT_R8}));
  duk_destroy_heap(ctx);
  EXPECT_EQ(testing::LiveStrings(), 0);
}

TEST(DispatchProxy, ReleasesWhenTheScriptLetsGo) {
  duk_context* ctx = testing::NewEngineWithControl();
  EXPECT_EQ(FakeControl::Live(), 1);
  EXPECT_EQ(Eval(ctx, "var a = o.Child, b = o.Child; 1"), "1");
  EXPECT_EQ(FakeControl::Live(), 3);
  Eval(ctx, "a = null; 1");
  EXPECT_EQ(FakeControl::Live(), 2);
  // A method function keeps its object alive after the object itself is dropped.
  Eval(ctx, "var m = b.Concat; b = null; 1");
  EXPECT_EQ(FakeControl::Live(), 2);
  EXPECT_EQ(Eval(ctx, "m('x', 'y')"), "xy");
  Eval(ctx, "m = null; 1");
  EXPECT_EQ(FakeControl::Live(), 1);
  duk_destroy_heap(ctx);
  EXPECT_EQ(FakeControl::Live(), 0);
}

TEST(DispatchProxy, HostFindsTheObjectBehindAWrapper) {
  FakeControl* control = nullptr;
  duk_context* ctx = testing::NewEngineWithControl(&control);
  const char* scripts[] = {"o", "({})", "new Proxy({}, {get: function () { throw 1; }})", "1"};
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    ASSERT_EQ(duk_peval_string(ctx, script), 0);
    EXPECT_EQ(DispatchOf(ctx, -1), script == scripts[0] ? control : nullptr);
    duk_pop(ctx);
  }
  duk_destroy_heap(ctx);
}

}  // namespace
}  // namespace velmaris::host
