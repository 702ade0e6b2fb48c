// Strings and variants through the system's own runtime (oleaut32).
#include "server/bstr.h"
#include "server/win32/system.h"

namespace velmaris::com {

BSTR AllocBstr(const OLECHAR* text, uint32_t length) {
  return win32::AllocString(text, length);
}

void FreeBstr(BSTR text) {
  win32::FreeString(text);
}

uint32_t BstrLength(BSTR text) {
  return win32::StringLength(text);
}

void InitVariant(VARIANT* variant) {
  win32::InitVariant(variant);
}

HRESULT ClearVariant(VARIANT* variant) {
  return win32::ClearVariant(variant);
}

HRESULT CopyVariant(VARIANT* destination, const VARIANT* source) {
  return win32::CopyVariant(destination, source);
}

}  // namespace velmaris::com
