#include "server/coerce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "base/text.h"
#include "server/host_api.h"
#include "tests/unit/server/dispatch_helpers.h"

namespace velmaris::server {
namespace {

using namespace com;
using testing::Bool;
using testing::I4;
using testing::OfType;
using testing::R8;
using testing::Text;

VARIANT Scaled(VARTYPE vt, int64_t value) {  // currency (scaled by 10000) or 64-bit
  VARIANT v = OfType(vt);
  v.llVal = value;
  return v;
}

enum Target { kInt, kText, kBool };

// The coerced value as text ("12", "True", "1E+20"), or the failure.
std::u16string Coerced(const VARIANT& in, Target target, HRESULT& hr) {
  int32_t number = 0;
  std::u16string text;
  bool flag = false;
  switch (target) {
    case kInt:
      hr = ToInt32(in, number);
      return DecimalText(number);
    case kText:
      hr = ToText(in, text);
      return text;
    case kBool:
      hr = ToBool(in, flag);
      return flag ? u"true" : u"false";
  }
  return {};
}

TEST(Coerce, AsTheClassicRuntimeDoes) {
  int32_t referenced = 42;
  VARIANT by_ref = OfType(VT_BYREF | VT_I4);
  by_ref.plVal = &referenced;
  VARIANT inner = Text(u" 7 ");
  VARIANT by_ref_variant = OfType(VT_BYREF | VT_VARIANT);
  by_ref_variant.pvarVal = &inner;
  constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
  constexpr HRESULT kOverflow = DISP_E_OVERFLOW;
  const struct {
    VARIANT in;
    Target target;
    HRESULT expected;
    std::u16string out;
  } cases[] = {
      {Text(u" 12 "), kInt, S_OK, u"12"},
      {Text(u"1.5"), kInt, S_OK, u"2"},  // halves to even
      {Text(u"2.5"), kInt, S_OK, u"2"},
      {Text(u"-1.5"), kInt, S_OK, u"-2"},
      {Text(u"1e3"), kInt, S_OK, u"1000"},
      {Text(u"+7"), kInt, S_OK, u"7"},
      {Text(u"-2147483648"), kInt, S_OK, u"-2147483648"},
      {Text(u"abc"), kInt, kMismatch, u""},
      {Text(u""), kInt, kMismatch, u""},
      {Text(u"12abc"), kInt, kMismatch, u""},
      {Text(u"+-7"), kInt, kMismatch, u""},
      {Text(u"１２"), kInt, kMismatch, u""},
      {Text(u"2147483648"), kInt, kOverflow, u""},
      {Text(u"1e400"), kInt, kOverflow, u""},
      {R8(2147483647.5), kInt, kOverflow, u""},
      {R8(-2147483648.5), kInt, S_OK, u"-2147483648"},
      {R8(std::nan("")), kInt, kOverflow, u""},
      {Scaled(VT_CY, 15000), kInt, S_OK, u"2"},
      {Scaled(VT_I8, int64_t{1} << 40), kInt, kOverflow, u""},
      {Bool(true), kInt, S_OK, u"-1"},
      {OfType(VT_EMPTY), kInt, S_OK, u"0"},
      {OfType(VT_NULL), kInt, kMismatch, u""},
      {OfType(VT_DISPATCH), kInt, kMismatch, u""},
      {by_ref, kInt, S_OK, u"42"},
      {by_ref_variant, kInt, S_OK, u"7"},
      {I4(-5), kText, S_OK, u"-5"},
      {R8(1.5), kText, S_OK, u"1.5"},
      {R8(1.0 / 3), kText, S_OK, u"0.333333333333333"},
      {R8(1e20), kText, S_OK, u"1E+20"},
      {R8(-0.0), kText, S_OK, u"0"},
      {Scaled(VT_CY, -5000), kText, S_OK, u"-0.5"},
      {Bool(true), kText, S_OK, u"True"},
      {Bool(false), kText, S_OK, u"False"},
      {OfType(VT_EMPTY), kText, S_OK, u""},
      {OfType(VT_BSTR), kText, S_OK, u""},  // a null BSTR
      {OfType(VT_NULL), kText, kMismatch, u""},
      {OfType(VT_DATE), kText, kMismatch, u""},
      {Text(u" fALSE "), kBool, S_OK, u"false"},
      {Text(u"2"), kBool, S_OK, u"true"},
      {Text(u"yes"), kBool, kMismatch, u""},
      {OfType(VT_NULL), kBool, kMismatch, u""},
  };
  for (const auto& c : cases) {
    HRESULT hr = S_OK;
    std::u16string out = Coerced(c.in, c.target, hr);
    std::string what = "vt " + std::to_string(c.in.vt) + " to " + std::to_string(c.target) +
                       " expecting " + std::string(c.out.begin(), c.out.end());
    EXPECT_EQ(hr, c.expected) << what;
    if (c.expected == S_OK) {
      EXPECT_EQ(out, c.out) << what;
    }
    if (c.in.vt == VT_BSTR) FreeBstr(c.in.bstrVal);
  }
  ClearVariant(&inner);
}

// A BSTR is the characters, preceded by their byte length and followed by a zero.
TEST(Bstr, LayoutAsHostsReadIt) {
  const struct {
    BSTR text;
    std::u16string content;
  } cases[] = {
      {SysAllocString(u"错误的URL"), u"错误的URL"},
      {SysAllocStringLen(u"a\0b", 3), std::u16string(u"a\0b", 3)},
      {SysAllocStringLen(nullptr, 2), std::u16string(2, u'\0')},
      {SysAllocString(u""), u""},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.text, nullptr);
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(c.text) - 4, 4);
    EXPECT_EQ(prefix, c.content.size() * 2);
    EXPECT_EQ(SysStringLen(c.text), c.content.size());
    EXPECT_EQ(c.text[c.content.size()], u'\0');
    EXPECT_EQ(std::u16string(c.text, c.content.size()), c.content);
    SysFreeString(c.text);
  }
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
}

// Counts its references, to see what copying and clearing variants does to them.
struct Counted final : IUnknown {
  int refs = 1;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG Release() override { return static_cast<ULONG>(--refs); }
};

TEST(Variants, CopyOwnsWhatItCopiesAndNothingByReference) {
  VARIANT text = Text(u"copy me");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  ASSERT_EQ(VariantClear(&text), S_OK);
  EXPECT_EQ(text.vt, VT_EMPTY);
  EXPECT_EQ(BstrText(copy.bstrVal), u"copy me");

  Counted object;
  VARIANT unknown = OfType(VT_UNKNOWN);
  unknown.punkVal = &object;
  ASSERT_EQ(VariantCopy(&copy, &unknown), S_OK);  // frees the text it held
  EXPECT_EQ(object.refs, 2);
  VariantClear(&copy);
  EXPECT_EQ(object.refs, 1);

  BSTR held = AllocBstr(u"held");
  VARIANT by_ref = OfType(VT_BYREF | VT_BSTR);
  by_ref.pbstrVal = &held;
  ASSERT_EQ(VariantCopy(&copy, &by_ref), S_OK);
  VariantClear(&copy);
  EXPECT_EQ(BstrText(held), u"held");
  FreeBstr(held);
}

}  // namespace
}  // namespace velmaris::server
