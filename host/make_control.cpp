#include "host/make_control.h"

#include <cstdio>
#include <string>

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

}  // namespace

std::variant<MadeControl, ScriptError> MakeControl(LibrarySet& libraries, std::string_view progid) {
  auto entry = registry::FindProgId(std::string(progid));
  auto clsid = entry ? registry::ParseGuid(entry->clsid) : std::nullopt;
  if (!clsid) return CannotCreate();
  std::string error;
  Library* library = libraries.Get(entry->library, error);
  if (library == nullptr) {
    // The script only learns that the object could not be made; the reason is for whoever reads
    // the console.
    std::fprintf(stderr, "velmaris: %s\n", error.c_str());
    return CannotCreate();
  }
  const ComApi& api = library->Api();
  IClassFactory* factory = nullptr;
  HRESULT hr = api.get_class_object(*clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (hr < 0 || factory == nullptr) {
    return hr < 0 ? ErrorFromCall(hr, nullptr, api) : CannotCreate();
  }
  IDispatch* object = nullptr;
  hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
  factory->Release();
  if (hr < 0 || object == nullptr) {
    return hr < 0 ? ErrorFromCall(hr, nullptr, api) : CannotCreate();
  }
  if (!AgreesToScripting(object)) {
    object->Release();
    return CannotCreate();
  }
  return MadeControl{object, &api};
}

}  // namespace velmaris::host
