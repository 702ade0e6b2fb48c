#include "host/session.h"

#include "host/script_support.h"
#include "server/registry.h"

namespace velmaris::host {

namespace {
constexpr const char* kSessionKey = DUK_HIDDEN_SYMBOL("session");
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

Library* ServiceLibrary(duk_context* ctx, std::string& error) {
  PageSession& session = SessionOf(ctx);
  if (Library* first = session.libraries.First()) return first;
  auto classes = registry::ReadAll();
  std::string path = classes.empty() ? DefaultLibraryPath() : classes.front().library;
  return session.libraries.Get(path, error);
}

}  // namespace velmaris::host
