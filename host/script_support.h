// Small helpers every native function of the page shares.
//
// The engine reports script errors by unwinding with longjmp, which skips C++ destructors. So a
// native function does its work in a helper that owns all C++ objects and leaves either its
// result or an error object on the value stack; only the outer, object-free frame throws.
#pragma once

#include <duktape.h>

#include <new>
#include <string>
#include <string_view>

#include "host/errors.h"
#include "server/com.h"

namespace velmaris::host {

// Pushes UTF-16 text as an engine string.
void PushText(duk_context* ctx, std::u16string_view text);
// The string at `index` as UTF-16; empty for non-strings. Never throws.
std::u16string GetText(duk_context* ctx, duk_idx_t index);
// Pushes a standard UTF-8 string (command line, environment, files) as an engine string.
void PushUtf8(duk_context* ctx, std::string_view text);

// Pushes an Error carrying number, description and source, as classic script engines raise it.
void PushScriptError(duk_context* ctx, const ScriptError& error);

// Raw pointers kept in hidden properties of engine objects.
void PutHiddenPointer(duk_context* ctx, duk_idx_t object, const char* key, const void* pointer);
void* GetHiddenPointer(duk_context* ctx, duk_idx_t object, const char* key);

// Runs `work` (which returns true when it pushed its result) and turns a C++ exception into a
// pushed script error, so none escapes into the engine.
template <typename Work>
bool Guarded(duk_context* ctx, Work&& work) noexcept {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    PushScriptError(ctx, HostError(com::E_OUTOFMEMORY));
  } catch (...) {
    PushScriptError(ctx, HostError(com::E_FAIL));
  }
  return false;
}

}  // namespace velmaris::host
