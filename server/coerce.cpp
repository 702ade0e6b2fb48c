#include "server/coerce.h"

namespace velmaris::com {

HRESULT Dereference(const VARIANT& in, VARIANT& view) {
  const VARIANT* at = &in;
  // A variant by reference may point at another variant by reference; follow a few layers.
  for (int depth = 0; depth < 8 && at->vt == (VT_BYREF | VT_VARIANT); ++depth) {
    if (at->pvarVal == nullptr) return DISP_E_TYPEMISMATCH;
    at = at->pvarVal;
  }
  if ((at->vt & VT_BYREF) == 0) {
    view = *at;
    return S_OK;
  }
  if (at->byref == nullptr) return DISP_E_TYPEMISMATCH;
  InitVariant(&view);
  view.vt = static_cast<VARTYPE>(at->vt & ~VT_BYREF);
  if ((view.vt & VT_ARRAY) != 0) return DISP_E_TYPEMISMATCH;
  switch (view.vt) {
    case VT_I1:
    case VT_UI1:
      view.bVal = *at->pbVal;
      break;
    case VT_I2:
    case VT_UI2:
      view.iVal = *at->piVal;
      break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      view.lVal = *at->plVal;
      break;
    case VT_I8:
    case VT_UI8:
    case VT_CY:
      view.llVal = *at->pllVal;
      break;
    case VT_R4:
      view.fltVal = *at->pfltVal;
      break;
    case VT_R8:
    case VT_DATE:
      view.dblVal = *at->pdblVal;
      break;
    case VT_BOOL:
      view.boolVal = *at->pboolVal;
      break;
    case VT_ERROR:
      view.scode = *at->pscode;
      break;
    case VT_BSTR:
      view.bstrVal = *at->pbstrVal;
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      view.punkVal = *at->ppunkVal;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

bool IsMissing(const VARIANT& in) {
  VARIANT view;
  return Dereference(in, view) == S_OK && view.vt == VT_ERROR && view.scode == DISP_E_PARAMNOTFOUND;
}

HRESULT ToVariant(const VARIANT& in, Variant& out) {
  VARIANT v;
  if (HRESULT hr = Dereference(in, v); hr != S_OK) return hr;
  return CopyVariant(&out.Get(), &v);
}

}  // namespace velmaris::com
