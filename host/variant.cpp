#include "host/variant.h"

#include <string>

#include "host/dispatch_proxy.h"
#include "host/script_support.h"

namespace velmaris::host {

using namespace com;

bool ToVariant(duk_context* ctx, duk_idx_t index, const ComApi& api, VARIANT& out) {
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NONE:
      out.vt = VT_ERROR;
      out.scode = DISP_E_PARAMNOTFOUND;
      return true;
    case DUK_TYPE_NULL:
      out.vt = VT_NULL;
      return true;
    case DUK_TYPE_BOOLEAN:
      out.vt = VT_BOOL;
      out.boolVal = duk_get_boolean(ctx, index) ? VARIANT_TRUE : VARIANT_FALSE;
      return true;
    case DUK_TYPE_NUMBER:
      PutNumber(duk_get_number(ctx, index), out);
      return true;
    case DUK_TYPE_STRING: {
      std::u16string text = GetText(ctx, index);
      BSTR bstr = api.sys_alloc_string_len(text.data(), static_cast<uint32_t>(text.size()));
      if (bstr == nullptr) return false;
      out.vt = VT_BSTR;
      out.bstrVal = bstr;
      return true;
    }
    case DUK_TYPE_OBJECT: {
      IDispatch* object = DispatchOf(ctx, index);
      if (object == nullptr) return false;
      object->AddRef();
      out.vt = VT_DISPATCH;
      out.pdispVal = object;
      return true;
    }
    default:
      return false;
  }
}

namespace {

void PushObject(duk_context* ctx, IUnknown* object, const ComApi& api) {
  IDispatch* dispatch = nullptr;
  if (object == nullptr ||
      object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)) != S_OK ||
      dispatch == nullptr) {
    duk_push_null(ctx);
    return;
  }
  PushDispatch(ctx, dispatch, api);
}

}  // namespace

bool PushVariant(duk_context* ctx, const VARIANT& value, const ComApi& api) {
  if ((value.vt & VT_ARRAY) != 0) return false;
  const bool byref = (value.vt & VT_BYREF) != 0;
  if (byref && value.byref == nullptr) return false;
  switch (value.vt & VT_TYPEMASK) {
    case VT_EMPTY:
      duk_push_undefined(ctx);
      return true;
    case VT_NULL:
      duk_push_null(ctx);
      return true;
    case VT_I1:
      duk_push_int(ctx, byref ? *static_cast<int8_t*>(value.byref) : value.cVal);
      return true;
    case VT_UI1:
      duk_push_uint(ctx, byref ? *value.pbVal : value.bVal);
      return true;
    case VT_I2:
      duk_push_int(ctx, byref ? *value.piVal : value.iVal);
      return true;
    case VT_UI2:
      duk_push_uint(ctx, byref ? *static_cast<uint16_t*>(value.byref) : value.uiVal);
      return true;
    case VT_I4:
    case VT_INT:
      duk_push_int(ctx, byref ? *value.plVal : value.lVal);
      return true;
    case VT_UI4:
    case VT_UINT:
      duk_push_uint(ctx, byref ? *static_cast<uint32_t*>(value.byref) : value.ulVal);
      return true;
    case VT_I8:
      duk_push_number(ctx, static_cast<double>(byref ? *value.pllVal : value.llVal));
      return true;
    case VT_UI8:
      duk_push_number(
          ctx, static_cast<double>(byref ? *static_cast<uint64_t*>(value.byref) : value.ullVal));
      return true;
    case VT_R4:
      duk_push_number(ctx, byref ? *value.pfltVal : value.fltVal);
      return true;
    case VT_R8:
    case VT_DATE:
      duk_push_number(ctx, byref ? *value.pdblVal : value.dblVal);
      return true;
    case VT_CY:
      // Currency is a fixed-point count of ten-thousandths.
      duk_push_number(ctx, static_cast<double>(byref ? *value.pllVal : value.cyVal) / 10000.0);
      return true;
    case VT_BOOL:
      duk_push_boolean(ctx, (byref ? *value.pboolVal : value.boolVal) != VARIANT_FALSE);
      return true;
    case VT_ERROR: {
      HRESULT code = byref ? *value.pscode : value.scode;
      if (code == DISP_E_PARAMNOTFOUND) {
        duk_push_undefined(ctx);
      } else {
        duk_push_int(ctx, code);
      }
      return true;
    }
    case VT_BSTR: {
      BSTR text = byref ? *value.pbstrVal : value.bstrVal;
      if (text == nullptr) {
        duk_push_string(ctx, "");
      } else {
        PushText(ctx, std::u16string_view(text, api.sys_string_len(text)));
      }
      return true;
    }
    case VT_DISPATCH:
      PushObject(ctx, byref ? *value.ppdispVal : value.pdispVal, api);
      return true;
    case VT_UNKNOWN:
      PushObject(ctx, byref ? *value.ppunkVal : value.punkVal, api);
      return true;
    case VT_VARIANT:
      return byref && PushVariant(ctx, *value.pvarVal, api);
    default:
      return false;
  }
}

}  // namespace velmaris::host
