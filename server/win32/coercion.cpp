// Argument coercion by the system's own rules (VariantChangeTypeEx).
#include "server/coerce.h"
#include "server/win32/system.h"

namespace velmaris::com {

namespace {

// The argument as type `vt` in `out`; the system's other failures (a bad variant type, say) are
// a type mismatch to the caller.
HRESULT Convert(const VARIANT& in, VARTYPE vt, Variant& out) {
  const HRESULT hr = win32::ChangeVariantType(&out.Get(), &in, vt);
  if (hr >= 0) return S_OK;
  return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
}

}  // namespace

HRESULT ToInt32(const VARIANT& in, int32_t& out) {
  Variant converted;
  const HRESULT hr = Convert(in, VT_I4, converted);
  if (hr == S_OK) out = converted.Get().lVal;
  return hr;
}

HRESULT ToText(const VARIANT& in, std::u16string& out) {
  // A string is taken as it is: there is nothing to convert.
  VARIANT view;
  if (Dereference(in, view) == S_OK && view.vt == VT_BSTR) {
    out = BstrText(view.bstrVal);
    return S_OK;
  }
  Variant converted;
  const HRESULT hr = Convert(in, VT_BSTR, converted);
  if (hr == S_OK) out = BstrText(converted.Get().bstrVal);
  return hr;
}

HRESULT ToBool(const VARIANT& in, bool& out) {
  Variant converted;
  const HRESULT hr = Convert(in, VT_BOOL, converted);
  if (hr == S_OK) out = converted.Get().boolVal != 0;
  return hr;
}

}  // namespace velmaris::com
