// Strings and variants as the COM runtime keeps them. The exported Sys*/Variant* functions are
// thin wrappers over these, so the library never calls through its own exported names (a host
// that defines the same names must not interpose on us).
#pragma once

#include <string>
#include <string_view>

#include "server/com.h"

namespace velmaris::com {

BSTR AllocBstr(const OLECHAR* text, uint32_t length);
BSTR AllocBstr(std::u16string_view text);
void FreeBstr(BSTR text);
uint32_t BstrLength(BSTR text);
// The text of a BSTR; a null BSTR is the empty string.
std::u16string BstrText(BSTR text);

void InitVariant(VARIANT* variant);
HRESULT ClearVariant(VARIANT* variant);
HRESULT CopyVariant(VARIANT* destination, const VARIANT* source);

// A VARIANT that owns its contents.
class Variant {
 public:
  Variant() { InitVariant(&m_value); }
  explicit Variant(std::u16string_view text);
  explicit Variant(int32_t number);
  explicit Variant(bool flag);
  ~Variant() { ClearVariant(&m_value); }
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;

  VARIANT& Get() { return m_value; }
  const VARIANT& Get() const { return m_value; }
  // Hands the contents to the caller, leaving this empty.
  VARIANT Detach();

 private:
  VARIANT m_value;
};

}  // namespace velmaris::com
