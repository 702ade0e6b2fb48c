// The classic runtime's coercion rules, for systems whose COM runtime does not bring them.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "base/text.h"
#include "server/coerce.h"

namespace velmaris::com {

namespace {

// A numeric variant read as a double (currency scaled back, booleans -1/0), or nothing when the
// variant is not a number.
std::optional<double> NumberOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
      return 0.0;
    case VT_I1:
      return v.cVal;
    case VT_UI1:
      return v.bVal;
    case VT_I2:
      return v.iVal;
    case VT_UI2:
      return v.uiVal;
    case VT_I4:
      return v.lVal;
    case VT_UI4:
      return v.ulVal;
    case VT_INT:
      return v.intVal;
    case VT_UINT:
      return v.uintVal;
    case VT_I8:
      return static_cast<double>(v.llVal);
    case VT_UI8:
      return static_cast<double>(v.ullVal);
    case VT_R4:
      return v.fltVal;
    case VT_R8:
      return v.dblVal;
    case VT_DATE:
      return v.date;
    case VT_CY:
      return static_cast<double>(v.cyVal) / 10000.0;
    case VT_BOOL:
      return v.boolVal != 0 ? -1.0 : 0.0;
    default:
      return std::nullopt;
  }
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Decimal text with an optional sign, fraction and exponent, blanks around it allowed. Anything
// else is a type mismatch; a value beyond a double is an overflow.
HRESULT ParseNumber(std::u16string_view text, double& out) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  std::string ascii;
  bool digits = false;
  for (char16_t c : text) {
    bool digit = c >= u'0' && c <= u'9';
    if (!digit && c != u'+' && c != u'-' && c != u'.' && c != u'e' && c != u'E') {
      return DISP_E_TYPEMISMATCH;
    }
    digits = digits || digit;
    ascii.push_back(static_cast<char>(c));
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  const char* begin = ascii.data();
  const char* end = begin + ascii.size();
  if (*begin == '+') {
    ++begin;  // from_chars takes a minus sign only
    if (begin == end || *begin == '+' || *begin == '-') return DISP_E_TYPEMISMATCH;
  }
  auto [stop, error] = std::from_chars(begin, end, out);
  if (error == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  if (error != std::errc() || stop != end) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

std::u16string FormatReal(double value, int digits) {
  if (value == 0) return u"0";  // no "-0"
  char text[40];
  std::snprintf(text, sizeof text, "%.*G", digits, value);
  return AsciiToU16(text);
}

std::u16string FormatCurrency(int64_t scaled) {
  std::string text = std::to_string(scaled / 10000);
  int64_t fraction = scaled % 10000;
  if (fraction != 0) {
    if (scaled < 0 && scaled / 10000 == 0) text = "-0";
    if (fraction < 0) fraction = -fraction;
    char digits[8];
    std::snprintf(digits, sizeof digits, ".%04d", static_cast<int>(fraction));
    std::string tail = digits;
    while (tail.back() == '0') tail.pop_back();
    text += tail;
  }
  return AsciiToU16(text);
}

}  // namespace

HRESULT ToInt32(const VARIANT& in, int32_t& out) {
  VARIANT v;
  if (HRESULT hr = Dereference(in, v); hr != S_OK) return hr;
  double number = 0;
  if (v.vt == VT_BSTR) {
    if (HRESULT hr = ParseNumber(BstrText(v.bstrVal), number); hr != S_OK) return hr;
  } else if (v.vt == VT_I8 || v.vt == VT_UI8) {
    // Exact, without a trip through double.
    bool fits = v.vt == VT_I8
                    ? v.llVal >= std::numeric_limits<int32_t>::min() &&
                          v.llVal <= std::numeric_limits<int32_t>::max()
                    : v.ullVal <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    if (!fits) return DISP_E_OVERFLOW;
    out = static_cast<int32_t>(v.llVal);
    return S_OK;
  } else if (auto value = NumberOf(v)) {
    number = *value;
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  if (std::isnan(number)) return DISP_E_OVERFLOW;
  double rounded = static_cast<double>(RoundHalfEven(std::clamp(number, -4e9, 4e9)));
  if (rounded < std::numeric_limits<int32_t>::min() ||
      rounded > std::numeric_limits<int32_t>::max()) {
    return DISP_E_OVERFLOW;
  }
  out = static_cast<int32_t>(rounded);
  return S_OK;
}

HRESULT ToText(const VARIANT& in, std::u16string& out) {
  VARIANT v;
  if (HRESULT hr = Dereference(in, v); hr != S_OK) return hr;
  switch (v.vt) {
    case VT_EMPTY:
      out.clear();
      return S_OK;
    case VT_BSTR:
      out = BstrText(v.bstrVal);
      return S_OK;
    case VT_BOOL:
      out = v.boolVal != 0 ? u"True" : u"False";
      return S_OK;
    case VT_I1:
      out = DecimalText(v.cVal);
      return S_OK;
    case VT_UI1:
      out = DecimalText(v.bVal);
      return S_OK;
    case VT_I2:
      out = DecimalText(v.iVal);
      return S_OK;
    case VT_UI2:
      out = DecimalText(v.uiVal);
      return S_OK;
    case VT_I4:
      out = DecimalText(v.lVal);
      return S_OK;
    case VT_UI4:
      out = DecimalText(v.ulVal);
      return S_OK;
    case VT_INT:
      out = DecimalText(v.intVal);
      return S_OK;
    case VT_UINT:
      out = DecimalText(v.uintVal);
      return S_OK;
    case VT_I8:
      out = DecimalText(v.llVal);
      return S_OK;
    case VT_UI8:
      out = AsciiToU16(std::to_string(v.ullVal));
      return S_OK;
    case VT_R4:
      out = FormatReal(v.fltVal, 7);
      return S_OK;
    case VT_R8:
      out = FormatReal(v.dblVal, 15);
      return S_OK;
    case VT_CY:
      out = FormatCurrency(v.cyVal);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;  // null, objects, errors, dates
  }
}

HRESULT ToBool(const VARIANT& in, bool& out) {
  VARIANT v;
  if (HRESULT hr = Dereference(in, v); hr != S_OK) return hr;
  if (v.vt == VT_BSTR) {
    std::u16string text = BstrText(v.bstrVal);
    std::u16string_view trimmed = text;
    while (!trimmed.empty() && IsBlank(trimmed.front())) trimmed.remove_prefix(1);
    while (!trimmed.empty() && IsBlank(trimmed.back())) trimmed.remove_suffix(1);
    if (EqualsIgnoreCase(trimmed, u"True")) {
      out = true;
      return S_OK;
    }
    if (EqualsIgnoreCase(trimmed, u"False")) {
      out = false;
      return S_OK;
    }
    double number = 0;
    if (HRESULT hr = ParseNumber(trimmed, number); hr != S_OK) return hr;
    out = number != 0;
    return S_OK;
  }
  if (v.vt == VT_I8 || v.vt == VT_UI8) {
    out = v.llVal != 0;
    return S_OK;
  }
  if (auto value = NumberOf(v)) {
    out = *value != 0;
    return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

}  // namespace velmaris::com
