#include "host/activex.h"

#include <string>

#include "host/dispatch_proxy.h"
#include "host/errors.h"
#include "host/make_control.h"
#include "host/screen.h"
#include "host/script_support.h"
#include "host/session.h"
#include "host/text.h"

namespace velmaris::host {

using namespace com;

namespace {

bool CreateObject(duk_context* ctx) {
  return Guarded(ctx, [&] {
    std::string progid = ScriptToUtf8(duk_get_string(ctx, 0));
    auto made = MakeControl(SessionOf(ctx).libraries, progid);
    if (auto* error = std::get_if<ScriptError>(&made)) {
      PushScriptError(ctx, *error);
      return false;
    }
    auto [object, api] = std::get<MadeControl>(made);
    if (SessionOf(ctx).gui) ShowForm(object, *api);
    PushDispatch(ctx, object, *api);
    return true;
  });
}

duk_ret_t ActiveXObject(duk_context* ctx) {
  duk_to_string(ctx, 0);
  if (!CreateObject(ctx)) return duk_throw(ctx);
  // Returned from a constructor, the object replaces the one `new` made.
  return 1;
}

}  // namespace

void DefineActiveXObject(duk_context* ctx) {
  duk_push_c_function(ctx, ActiveXObject, 1);
  duk_put_global_string(ctx, "ActiveXObject");
}

}  // namespace velmaris::host
