#include "host/session.h"

#include <cstdio>

#include "host/script_support.h"
#include "host/text.h"
#include "server/registry.h"

namespace velmaris::host {

namespace {
constexpr const char* kSessionKey = DUK_HIDDEN_SYMBOL("session");
}

Library* PageSession::ServiceLibrary(std::string& error) {
  if (Library* first = libraries.First()) return first;
  auto classes = registry::ReadAll();
  std::string path = classes.empty() ? DefaultLibraryPath() : classes.front().library;
  return libraries.Get(path, error);
}

const ComApi* PageSession::Services(std::u16string& error) {
  std::string reason;
  Library* library = ServiceLibrary(reason);
  if (library == nullptr) {
    error = DecodeUtf8(reason);
    return nullptr;
  }
  return &library->Api();
}

void PageSession::WriteLine(bool error_stream, std::u16string_view text) {
  std::string line = EncodeUtf8(text);
  line += '\n';
  FILE* out = error_stream ? stderr : stdout;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

void AttachSession(duk_context* ctx, PageSession* session) {
  duk_push_global_stash(ctx);
  PutHiddenPointer(ctx, -1, kSessionKey, session);
  duk_pop(ctx);
}

PageSession& SessionOf(duk_context* ctx) {
  duk_push_global_stash(ctx);
  auto* session = static_cast<PageSession*>(GetHiddenPointer(ctx, -1, kSessionKey));
  duk_pop(ctx);
  return *session;
}

}  // namespace velmaris::host
