#include "host/variant.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/unit/host/fake_com.h"

namespace velmaris::host {
namespace {

using namespace com;
using testing::Eval;
using testing::FakeApi;
using testing::FakeControl;

std::u16string BstrText(const VARIANT& v) {
  return std::u16string(v.bstrVal, FakeApi().sys_string_len(v.bstrVal));
}

TEST(ScriptToVariant, EachScriptTypeGetsItsVariantType) {
  using namespace std::string_literals;
  struct Case {
    const char* script;
    bool converts;
    VARTYPE vt;
    std::function<bool(const VARIANT&)> check;
  };
  const Case cases[] = {
      {"42", true, VT_I4, [](const VARIANT& v) { return v.lVal == 42; }},
      {"-2147483648", true, VT_I4, [](const VARIANT& v) { return v.lVal == INT32_MIN; }},
      {"2147483647", true, VT_I4, [](const VARIANT& v) { return v.lVal == INT32_MAX; }},
      {"2147483648", true, VT_R8, [](const VARIANT& v) { return v.dblVal == 2147483648.0; }},
      {"-1.5", true, VT_R8, [](const VARIANT& v) { return v.dblVal == -1.5; }},
      {"0/0", true, VT_R8, [](const VARIANT& v) { return v.dblVal != v.dblVal; }},
      {"true", true, VT_BOOL, [](const VARIANT& v) { return v.boolVal == VARIANT_TRUE; }},
      {"false", true, VT_BOOL, [](const VARIANT& v) { return v.boolVal == VARIANT_FALSE; }},
      {"null", true, VT_NULL, [](const VARIANT&) { return true; }},
      {"undefined", true, VT_ERROR,
       [](const VARIANT& v) { return v.scode == DISP_E_PARAMNOTFOUND; }},
      {"''", true, VT_BSTR, [](const VARIANT& v) { return BstrText(v).empty(); }},
      {"'d:\\\\\\u6587\\u4EF6\\u0000a.txt'", true, VT_BSTR,
       [](const VARIANT& v) { return BstrText(v) == u"d:\\文件\0a.txt"s; }},
      {"'\\uD83D\\uDE00'", true, VT_BSTR,
       [](const VARIANT& v) { return BstrText(v) == u"\U0001F600"; }},
      {"o", true, VT_DISPATCH, [](const VARIANT& v) { return v.pdispVal != nullptr; }},
      {"({})", false, VT_EMPTY, nullptr},
      {"[1]", false, VT_EMPTY, nullptr},
      {"(function () {})", false, VT_EMPTY, nullptr},
  };
  duk_context* ctx = testing::NewEngineWithControl();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    ASSERT_EQ(duk_peval_string(ctx, c.script), 0);
    VARIANT v;
    FakeApi().variant_init(&v);
    EXPECT_EQ(ToVariant(ctx, -1, FakeApi(), v), c.converts);
    EXPECT_EQ(v.vt, c.vt);
    if (c.check) {
      EXPECT_TRUE(c.check(v));
    }
    FakeApi().variant_clear(&v);
    duk_pop(ctx);
  }
  EXPECT_EQ(testing::LiveStrings(), 0);
  duk_destroy_heap(ctx);
  EXPECT_EQ(FakeControl::Live(), 0);
}

TEST(VariantToScript, EachVariantTypeReadsAsScriptValue) {
  int32_t number = -7;
  BSTR referenced = FakeApi().sys_alloc_string_len(u"ref", 3);
  VARIANT inner;
  FakeApi().variant_init(&inner);
  inner.vt = VT_BSTR;
  inner.bstrVal = FakeApi().sys_alloc_string_len(u"\U0001F600x", 3);
  auto* control = new FakeControl;

  struct Case {
    VARIANT value;
    bool converts;
    const char* check;  // script over `v`
  };
  auto make = [](VARTYPE vt, auto setter) {
    VARIANT v{};
    v.vt = vt;
    setter(v);
    return v;
  };
  const Case cases[] = {
      {make(VT_EMPTY, [](VARIANT&) {}), true, "v === undefined"},
      {make(VT_NULL, [](VARIANT&) {}), true, "v === null"},
      {make(VT_I2, [](VARIANT& v) { v.iVal = -5; }), true, "v === -5"},
      {make(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), true, "v === 200"},
      {make(VT_I4, [](VARIANT& v) { v.lVal = INT32_MIN; }), true, "v === -2147483648"},
      {make(VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; }), true, "v === 4294967295"},
      {make(VT_R8, [](VARIANT& v) { v.dblVal = 0.25; }), true, "v === 0.25"},
      {make(VT_CY, [](VARIANT& v) { v.cyVal = 12345; }), true, "v === 1.2345"},
      {make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), true, "v === true"},
      {make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; }), true, "v === false"},
      {make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }), true, "v === undefined"},
      {make(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), true, "v === ''"},
      {make(VT_BSTR, [&](VARIANT& v) { v.bstrVal = inner.bstrVal; }), true,
       "v === '\\uD83D\\uDE00x' && v.length === 3"},
      {make(VT_I4 | VT_BYREF, [&](VARIANT& v) { v.plVal = &number; }), true, "v === -7"},
      {make(VT_BSTR | VT_BYREF, [&](VARIANT& v) { v.pbstrVal = &referenced; }), true,
       "v === 'ref'"},
      {make(VT_VARIANT | VT_BYREF, [&](VARIANT& v) { v.pvarVal = &inner; }), true,
       "v.length === 3"},
      {make(VT_DISPATCH, [&](VARIANT& v) { v.pdispVal = control; }), true,
       "(v.Name = 'n', v.Name === 'n')"},
      {make(VT_DISPATCH, [](VARIANT& v) { v.pdispVal = nullptr; }), true, "v === null"},
      {make(VT_ARRAY | VT_I4, [](VARIANT&) {}), false, nullptr},
      {make(VT_I4 | VT_BYREF, [](VARIANT& v) { v.plVal = nullptr; }), false, nullptr},
  };
  duk_context* ctx = duk_create_heap_default();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.check ? c.check : "unconvertible");
    duk_idx_t top = duk_get_top(ctx);
    ASSERT_EQ(PushVariant(ctx, c.value, FakeApi()), c.converts);
    if (!c.converts) {
      EXPECT_EQ(duk_get_top(ctx), top);
      continue;
    }
    duk_put_global_string(ctx, "v");
    EXPECT_EQ(Eval(ctx, c.check), "true");
  }
  duk_destroy_heap(ctx);
  // The caller's variant keeps its own reference; the script's was released with the engine.
  EXPECT_EQ(control->Release(), 0u);
  FakeApi().variant_clear(&inner);
  FakeApi().sys_free_string(referenced);
  EXPECT_EQ(testing::LiveStrings(), 0);
  EXPECT_EQ(FakeControl::Live(), 0);
}

}  // namespace
}  // namespace velmaris::host
