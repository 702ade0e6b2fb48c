// Argument coercion at the dispatch boundary, as the classic runtime's VariantChangeType does it:
// numeric text becomes a number, numbers become decimal text, booleans are -1/0 and "True"/"False",
// an empty variant is 0 or "", and a null variant is a type mismatch. Arguments may arrive by
// reference; they are read through, never written.
#pragma once

#include <string>

#include "server/bstr.h"
#include "server/com.h"

namespace velmaris::com {

// The variant an argument refers to, through any number of VT_BYREF layers: a shallow view whose
// contents still belong to the caller.
HRESULT Dereference(const VARIANT& in, VARIANT& view);
// True for the marker of an omitted argument (VT_ERROR with DISP_E_PARAMNOTFOUND).
bool IsMissing(const VARIANT& in);

// Each returns S_OK, DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW.
HRESULT ToInt32(const VARIANT& in, int32_t& out);
HRESULT ToText(const VARIANT& in, std::u16string& out);
HRESULT ToBool(const VARIANT& in, bool& out);
// A by-value copy of the argument the caller's variant refers to.
HRESULT ToVariant(const VARIANT& in, Variant& out);

}  // namespace velmaris::com
