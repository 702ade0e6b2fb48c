#include "server/coerce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

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

VARIANT Currency(int64_t scaled) {
  VARIANT v = OfType(VT_CY);
  v.cyVal = scaled;
  return v;
}

VARIANT I8(int64_t value) {
  VARIANT v = OfType(VT_I8);
  v.llVal = value;
  return v;
}

TEST(Coerce, ToInt32) {
  int32_t referenced = 42;
  VARIANT by_ref = OfType(VT_BYREF | VT_I4);
  by_ref.plVal = &referenced;
  VARIANT inner = Text(u" 7 ");
  VARIANT by_ref_variant = OfType(VT_BYREF | VT_VARIANT);
  by_ref_variant.pvarVal = &inner;
  const struct {
    const char* what;
    VARIANT in;
    HRESULT expected;
    int32_t value;
  } cases[] = {
      {"blanks around", Text(u" 12 "), S_OK, 12},
      {"half rounds to even, up", Text(u"1.5"), S_OK, 2},
      {"half rounds to even, down", Text(u"2.5"), S_OK, 2},
      {"negative half", Text(u"-1.5"), S_OK, -2},
      {"below half", Text(u"0.49"), S_OK, 0},
      {"exponent", Text(u"1e3"), S_OK, 1000},
      {"plus sign", Text(u"+7"), S_OK, 7},
      {"largest", Text(u"2147483647"), S_OK, 2147483647},
      {"smallest", Text(u"-2147483648"), S_OK, std::numeric_limits<int32_t>::min()},
      {"letters", Text(u"abc"), DISP_E_TYPEMISMATCH, 0},
      {"empty text", Text(u""), DISP_E_TYPEMISMATCH, 0},
      {"blanks only", Text(u"  "), DISP_E_TYPEMISMATCH, 0},
      {"trailing letters", Text(u"12abc"), DISP_E_TYPEMISMATCH, 0},
      {"two signs", Text(u"+-7"), DISP_E_TYPEMISMATCH, 0},
      {"full-width digits", Text(u"１２"), DISP_E_TYPEMISMATCH, 0},
      {"one too many", Text(u"2147483648"), DISP_E_OVERFLOW, 0},
      {"beyond a double", Text(u"1e400"), DISP_E_OVERFLOW, 0},
      {"double rounding past the top", R8(2147483647.5), DISP_E_OVERFLOW, 0},
      {"double rounding to the bottom", R8(-2147483648.5), S_OK,
       std::numeric_limits<int32_t>::min()},
      {"not a number", R8(std::nan("")), DISP_E_OVERFLOW, 0},
      {"currency 1.5", Currency(15000), S_OK, 2},
      {"64-bit beyond", I8(int64_t{1} << 40), DISP_E_OVERFLOW, 0},
      {"64-bit within", I8(-5), S_OK, -5},
      {"true", Bool(true), S_OK, -1},
      {"false", Bool(false), S_OK, 0},
      {"empty", OfType(VT_EMPTY), S_OK, 0},
      {"null", OfType(VT_NULL), DISP_E_TYPEMISMATCH, 0},
      {"object", OfType(VT_DISPATCH), DISP_E_TYPEMISMATCH, 0},
      {"by reference", by_ref, S_OK, 42},
      {"variant by reference", by_ref_variant, S_OK, 7},
  };
  for (const auto& c : cases) {
    int32_t out = -99;
    EXPECT_EQ(ToInt32(c.in, out), c.expected) << c.what;
    if (c.expected == S_OK) {
      EXPECT_EQ(out, c.value) << c.what;
    }
    if (c.in.vt == VT_BSTR) FreeBstr(c.in.bstrVal);
  }
  ClearVariant(&inner);
}

TEST(Coerce, ToText) {
  BSTR referenced = AllocBstr(u"by ref");
  VARIANT by_ref = OfType(VT_BYREF | VT_BSTR);
  by_ref.pbstrVal = &referenced;
  VARIANT null_bstr = OfType(VT_BSTR);
  const struct {
    const char* what;
    VARIANT in;
    HRESULT expected;
    std::u16string text;
  } cases[] = {
      {"negative", I4(-5), S_OK, u"-5"},
      {"fraction", R8(1.5), S_OK, u"1.5"},
      {"tenth", R8(0.1), S_OK, u"0.1"},
      {"third", R8(1.0 / 3), S_OK, u"0.333333333333333"},
      {"large", R8(1e20), S_OK, u"1E+20"},
      {"negative zero", R8(-0.0), S_OK, u"0"},
      {"whole double", R8(100), S_OK, u"100"},
      {"currency", Currency(12345), S_OK, u"1.2345"},
      {"negative currency", Currency(-5000), S_OK, u"-0.5"},
      {"64-bit", I8(int64_t{1} << 40), S_OK, u"1099511627776"},
      {"true", Bool(true), S_OK, u"True"},
      {"false", Bool(false), S_OK, u"False"},
      {"empty", OfType(VT_EMPTY), S_OK, u""},
      {"null BSTR", null_bstr, S_OK, u""},
      {"by reference", by_ref, S_OK, u"by ref"},
      {"null", OfType(VT_NULL), DISP_E_TYPEMISMATCH, u""},
      {"date", OfType(VT_DATE), DISP_E_TYPEMISMATCH, u""},
      {"object", OfType(VT_UNKNOWN), DISP_E_TYPEMISMATCH, u""},
  };
  for (const auto& c : cases) {
    std::u16string out = u"unset";
    EXPECT_EQ(ToText(c.in, out), c.expected) << c.what;
    if (c.expected == S_OK) {
      EXPECT_EQ(out, c.text) << c.what;
    }
  }
  EXPECT_EQ(BstrText(referenced), u"by ref");
  FreeBstr(referenced);
}

TEST(Coerce, ToBool) {
  const struct {
    const char* what;
    VARIANT in;
    HRESULT expected;
    bool value;
  } cases[] = {
      {"True", Text(u"True"), S_OK, true},
      {"false any case", Text(u" fALSE "), S_OK, false},
      {"zero text", Text(u"0"), S_OK, false},
      {"number text", Text(u"2"), S_OK, true},
      {"letters", Text(u"yes"), DISP_E_TYPEMISMATCH, false},
      {"number", I4(5), S_OK, true},
      {"zero", I4(0), S_OK, false},
      {"empty", OfType(VT_EMPTY), S_OK, false},
      {"null", OfType(VT_NULL), DISP_E_TYPEMISMATCH, false},
  };
  for (const auto& c : cases) {
    bool out = !c.value;
    EXPECT_EQ(ToBool(c.in, out), c.expected) << c.what;
    if (c.expected == S_OK) {
      EXPECT_EQ(out, c.value) << c.what;
    }
    if (c.in.vt == VT_BSTR) FreeBstr(c.in.bstrVal);
  }
}

// A BSTR is the characters, preceded by their byte length and followed by a zero.
TEST(Bstr, LayoutAsHostsReadIt) {
  const struct {
    const char* what;
    BSTR text;
    uint32_t length;
    std::u16string content;
  } cases[] = {
      {"plain", SysAllocString(u"ab"), 2, u"ab"},
      {"Chinese", SysAllocString(u"错误的URL"), 6, u"错误的URL"},
      {"embedded zero", SysAllocStringLen(u"a\0b", 3), 3, std::u16string(u"a\0b", 3)},
      {"no source text", SysAllocStringLen(nullptr, 2), 2, std::u16string(2, u'\0')},
      {"empty", SysAllocString(u""), 0, u""},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.text, nullptr) << c.what;
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(c.text) - 4, 4);
    EXPECT_EQ(prefix, c.length * 2) << c.what;
    EXPECT_EQ(SysStringLen(c.text), c.length) << c.what;
    EXPECT_EQ(c.text[c.length], u'\0') << c.what;
    EXPECT_EQ(std::u16string(c.text, c.length), c.content) << c.what;
    SysFreeString(c.text);
  }
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

// An object that counts its references, to see what copying and clearing variants do to them.
struct Counted final : IUnknown {
  int refs = 1;
  HRESULT QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG Release() override { return static_cast<ULONG>(--refs); }
};

TEST(Variants, CopyOwnsWhatItCopies) {
  VARIANT text = Text(u"copy me");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  EXPECT_EQ(BstrText(copy.bstrVal), u"copy me");
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

  // A reference is copied as a reference and never freed through.
  BSTR held = AllocBstr(u"held");
  VARIANT by_ref = OfType(VT_BYREF | VT_BSTR);
  by_ref.pbstrVal = &held;
  ASSERT_EQ(VariantCopy(&copy, &by_ref), S_OK);
  EXPECT_EQ(copy.pbstrVal, &held);
  VariantClear(&copy);
  EXPECT_EQ(BstrText(held), u"held");
  FreeBstr(held);

  VARIANT array = OfType(VT_ARRAY | VT_I4);
  EXPECT_EQ(VariantCopy(&copy, &array), DISP_E_BADVARTYPE);
}

}  // namespace
}  // namespace velmaris::server
