// A dispatch object as a script object. Every property read, property write and method call on
// it goes through GetIDsOfNames and Invoke; the object holds one reference, released when the
// script drops it (or when the page ends).
#pragma once

#include <duktape.h>

#include "host/com_api.h"

namespace velmaris::host {

// Pushes a script object standing for `object`, taking over one reference to it. `api` is the
// library that made the object and must outlive the engine.
void PushDispatch(duk_context* ctx, com::IDispatch* object, const ComApi& api);

// The dispatch object behind a value made by PushDispatch (no reference added), or null.
com::IDispatch* DispatchOf(duk_context* ctx, duk_idx_t index);
// The library functions of that object, or null.
const ComApi* ApiOf(duk_context* ctx, duk_idx_t index);

}  // namespace velmaris::host
