#include "server/bstr.h"

#include <utility>

namespace velmaris::com {

BSTR AllocBstr(std::u16string_view text) {
  return AllocBstr(text.data(), static_cast<uint32_t>(text.size()));
}

std::u16string BstrText(BSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(text, BstrLength(text));
}

Variant::Variant(std::u16string_view text) {
  InitVariant(&m_value);
  m_value.vt = VT_BSTR;
  m_value.bstrVal = AllocBstr(text);
}

Variant::Variant(int32_t number) {
  InitVariant(&m_value);
  m_value.vt = VT_I4;
  m_value.lVal = number;
}

Variant::Variant(bool flag) {
  InitVariant(&m_value);
  m_value.vt = VT_BOOL;
  m_value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(const Variant& other) {
  InitVariant(&m_value);
  CopyVariant(&m_value, &other.m_value);
}

Variant& Variant::operator=(const Variant& other) {
  CopyVariant(&m_value, &other.m_value);
  return *this;
}

Variant::Variant(Variant&& other) noexcept : m_value(other.m_value) {
  InitVariant(&other.m_value);
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    ClearVariant(&m_value);
    m_value = other.m_value;
    InitVariant(&other.m_value);
  }
  return *this;
}

VARIANT Variant::Detach() {
  VARIANT out = m_value;
  InitVariant(&m_value);
  return out;
}

}  // namespace velmaris::com
