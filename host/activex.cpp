#include "host/activex.h"

#include <cstdio>
#include <string>

#include "host/dispatch_proxy.h"
#include "host/errors.h"
#include "host/screen.h"
#include "host/script_support.h"
#include "host/session.h"
#include "host/text.h"
#include "server/registry.h"

namespace velmaris::host {

using namespace com;

namespace {

constexpr uint32_t kSafeForUntrustedCaller = 1;

ScriptError CannotCreate() {
  return HostError(kCannotCreateObject, u"ActiveXObject");
}

// A browser scripts a control only after it declared itself safe for that; so do we. A control
// without IObjectSafety is taken as it is.
bool AgreesToScripting(IDispatch* object) {
  IObjectSafety* safety = nullptr;
  if (object->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)) != S_OK ||
      safety == nullptr) {
    return true;
  }
  HRESULT hr = safety->SetInterfaceSafetyOptions(&IID_IDispatch, kSafeForUntrustedCaller,
                                                 kSafeForUntrustedCaller);
  safety->Release();
  return hr == S_OK;
}

bool CreateObject(duk_context* ctx) {
  return Guarded(ctx, [&] {
    std::string progid = ScriptToUtf8(duk_get_string(ctx, 0));
    auto entry = registry::FindProgId(progid);
    auto clsid = entry ? registry::ParseGuid(entry->clsid) : std::nullopt;
    if (!clsid) {
      PushScriptError(ctx, CannotCreate());
      return false;
    }
    std::string error;
    Library* library = SessionOf(ctx).libraries.Get(entry->library, error);
    if (library == nullptr) {
      // The script only learns that the object could not be made; the reason is for whoever
      // reads the console.
      std::fprintf(stderr, "velmaris: %s\n", error.c_str());
      PushScriptError(ctx, CannotCreate());
      return false;
    }
    const ComApi& api = library->Api();
    IClassFactory* factory = nullptr;
    HRESULT hr =
        api.get_class_object(*clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (hr < 0 || factory == nullptr) {
      PushScriptError(ctx, hr < 0 ? ErrorFromCall(hr, nullptr, api) : CannotCreate());
      return false;
    }
    IDispatch* object = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    factory->Release();
    if (hr < 0 || object == nullptr) {
      PushScriptError(ctx, hr < 0 ? ErrorFromCall(hr, nullptr, api) : CannotCreate());
      return false;
    }
    if (!AgreesToScripting(object)) {
      object->Release();
      PushScriptError(ctx, CannotCreate());
      return false;
    }
    if (SessionOf(ctx).gui) ShowForm(object, api);
    PushDispatch(ctx, object, api);
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
