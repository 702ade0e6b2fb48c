#include "server/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "server/export.h"
#include "server/host_api.h"

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

BSTR AllocBstr(std::u16string_view text) {
  return AllocBstr(text.data(), static_cast<uint32_t>(text.size()));
}

void FreeBstr(BSTR text) {
  if (text != nullptr) std::free(LengthField(text));
}

uint32_t BstrLength(BSTR text) {
  return text == nullptr ? 0 : *LengthField(text) / sizeof(OLECHAR);
}

std::u16string BstrText(BSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(text, BstrLength(text));
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

using velmaris::com::BSTR;
using velmaris::com::HRESULT;
using velmaris::com::OLECHAR;
using velmaris::com::VARIANT;

extern "C" {

VELMARIS_EXPORT BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return velmaris::com::AllocBstr(std::u16string_view(text));
}

VELMARIS_EXPORT BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
  return velmaris::com::AllocBstr(text, length);
}

VELMARIS_EXPORT void SysFreeString(BSTR text) {
  velmaris::com::FreeBstr(text);
}

VELMARIS_EXPORT uint32_t SysStringLen(BSTR text) {
  return velmaris::com::BstrLength(text);
}

VELMARIS_EXPORT void VariantInit(VARIANT* variant) {
  if (variant != nullptr) velmaris::com::InitVariant(variant);
}

VELMARIS_EXPORT HRESULT VariantClear(VARIANT* variant) {
  return velmaris::com::ClearVariant(variant);
}

VELMARIS_EXPORT HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  return velmaris::com::CopyVariant(destination, source);
}

}  // extern "C"
