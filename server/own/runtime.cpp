// Strings and variants kept the way the COM runtime keeps them, for systems that have no such
// runtime; the Sys*/Variant* functions a host calls are exported from here.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "server/bstr.h"
#include "server/export.h"

namespace velmaris::com {

namespace {

// The byte length sits in the four bytes before the characters.
uint32_t* LengthField(BSTR text) {
  return reinterpret_cast<uint32_t*>(text) - 1;
}

}  // namespace

BSTR AllocBstr(const OLECHAR* text, uint32_t length) {
  constexpr uint64_t kLargest = (std::numeric_limits<uint32_t>::max() - 8) / sizeof(OLECHAR);
  if (length > kLargest) return nullptr;
  size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  auto* block = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  block[0] = static_cast<uint32_t>(bytes);
  auto* characters = reinterpret_cast<OLECHAR*>(block + 1);
  if (text != nullptr) {
    std::memcpy(characters, text, bytes);
  } else {
    std::memset(characters, 0, bytes);
  }
  characters[length] = 0;
  return characters;
}

void FreeBstr(BSTR text) {
  if (text != nullptr) std::free(LengthField(text));
}

uint32_t BstrLength(BSTR text) {
  return text == nullptr ? 0 : *LengthField(text) / sizeof(OLECHAR);
}

void InitVariant(VARIANT* variant) {
  std::memset(variant, 0, sizeof *variant);
  variant->vt = VT_EMPTY;
}

HRESULT ClearVariant(VARIANT* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  VARTYPE vt = variant->vt;
  if ((vt & VT_BYREF) == 0) {
    if ((vt & VT_ARRAY) != 0) return DISP_E_BADVARTYPE;  // no arrays cross our interfaces
    switch (vt & VT_TYPEMASK) {
      case VT_BSTR:
        FreeBstr(variant->bstrVal);
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (variant->punkVal != nullptr) variant->punkVal->Release();
        break;
      default:
        break;
    }
  }
  InitVariant(variant);
  return S_OK;
}

HRESULT CopyVariant(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source) return S_OK;
  if ((source->vt & (VT_ARRAY | VT_BYREF)) == VT_ARRAY) return DISP_E_BADVARTYPE;
  VARIANT copy = *source;
  if ((source->vt & VT_BYREF) == 0) {
    switch (source->vt & VT_TYPEMASK) {
      case VT_BSTR:
        if (source->bstrVal != nullptr) {
          copy.bstrVal = AllocBstr(source->bstrVal, BstrLength(source->bstrVal));
          if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
        }
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (source->punkVal != nullptr) source->punkVal->AddRef();
        break;
      default:
        break;
    }
  }
  HRESULT cleared = ClearVariant(destination);
  if (cleared < 0) {
    // Undo the copy's own references; the destination keeps what it had.
    ClearVariant(&copy);
    return cleared;
  }
  *destination = copy;
  return S_OK;
}

}  // namespace velmaris::com

using velmaris::com::BSTR;
using velmaris::com::HRESULT;
using velmaris::com::OLECHAR;
using velmaris::com::VARIANT;

extern "C" {

VELMARIS_EXPORT BSTR VELMARIS_STDCALL SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return velmaris::com::AllocBstr(std::u16string_view(text));
}

VELMARIS_EXPORT BSTR VELMARIS_STDCALL SysAllocStringLen(const OLECHAR* text, uint32_t length) {
  return velmaris::com::AllocBstr(text, length);
}

VELMARIS_EXPORT void VELMARIS_STDCALL SysFreeString(BSTR text) {
  velmaris::com::FreeBstr(text);
}

VELMARIS_EXPORT uint32_t VELMARIS_STDCALL SysStringLen(BSTR text) {
  return velmaris::com::BstrLength(text);
}

VELMARIS_EXPORT void VELMARIS_STDCALL VariantInit(VARIANT* variant) {
  if (variant != nullptr) velmaris::com::InitVariant(variant);
}

VELMARIS_EXPORT HRESULT VELMARIS_STDCALL VariantClear(VARIANT* variant) {
  return velmaris::com::ClearVariant(variant);
}

VELMARIS_EXPORT HRESULT VELMARIS_STDCALL VariantCopy(VARIANT* destination, const VARIANT* source) {
  return velmaris::com::CopyVariant(destination, source);
}

}  // extern "C"
