// Script values to and from VARIANTs, for arguments going into the library and results coming out.
#pragma once

#include <duktape.h>

#include "host/com_api.h"

namespace velmaris::host {

// Fills `out` (VT_EMPTY on entry) from the script value at `index`: whole numbers that fit in 32
// bits become VT_I4, other numbers VT_R8, strings VT_BSTR (allocated by the library), booleans
// VT_BOOL, null VT_NULL, undefined a missing argument, and a wrapped control VT_DISPATCH with a
// reference of its own. Returns false for anything else (plain objects, functions), leaving `out`
// empty. Never throws.
bool ToVariant(duk_context* ctx, duk_idx_t index, const ComApi& api, com::VARIANT& out);

// Pushes the script form of `value`, which stays the caller's: strings, numbers, booleans,
// undefined for VT_EMPTY and missing arguments, null for VT_NULL and null objects, and a wrapped
// object (holding a reference of its own) for VT_DISPATCH and VT_UNKNOWN that answers IDispatch.
// References are followed. Returns false, pushing nothing, for arrays and unknown types.
bool PushVariant(duk_context* ctx, const com::VARIANT& value, const ComApi& api);

}  // namespace velmaris::host
