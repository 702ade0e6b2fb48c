#include "host/script_support.h"

#include "host/text.h"

namespace velmaris::host {

void PushText(duk_context* ctx, std::u16string_view text) {
  std::string bytes = EncodeCesu8(text);
  duk_push_lstring(ctx, bytes.data(), bytes.size());
}

std::u16string GetText(duk_context* ctx, duk_idx_t index) {
  duk_size_t length = 0;
  const char* bytes = duk_get_lstring(ctx, index, &length);
  return bytes ? DecodeUtf8(std::string_view(bytes, length)) : std::u16string();
}

void PushUtf8(duk_context* ctx, std::string_view text) {
  std::string bytes = Utf8ToScript(text);
  duk_push_lstring(ctx, bytes.data(), bytes.size());
}

void PushScriptError(duk_context* ctx, const ScriptError& error) {
  std::string description = EncodeCesu8(error.description);
  // No C file and line: the engine then blames the script line that made the call.
  duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", description.c_str());
  duk_push_int(ctx, error.number);
  duk_put_prop_string(ctx, -2, "number");
  duk_push_lstring(ctx, description.data(), description.size());
  duk_put_prop_string(ctx, -2, "description");
  PushText(ctx, error.source);
  duk_put_prop_string(ctx, -2, "source");
}

void PutHiddenPointer(duk_context* ctx, duk_idx_t object, const char* key, const void* pointer) {
  object = duk_normalize_index(ctx, object);
  duk_push_pointer(ctx, const_cast<void*>(pointer));
  duk_put_prop_string(ctx, object, key);
}

void* GetHiddenPointer(duk_context* ctx, duk_idx_t object, const char* key) {
  if (!duk_is_object(ctx, object)) return nullptr;
  duk_get_prop_string(ctx, object, key);
  void* pointer = duk_get_pointer(ctx, -1);
  duk_pop(ctx);
  return pointer;
}

}  // namespace velmaris::host
