// The four entry points of an in-process server.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "server/class_table.h"
#include "server/control_object.h"
#include "server/export.h"
#include "server/host_api.h"
#include "server/module1.h"
#include "server/registry.h"

using velmaris::com::CLSID;
using velmaris::com::HRESULT;
using velmaris::com::IID;

namespace {

namespace server = velmaris::server;

// The absolute path of this library, as the registry records it.
std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

}  // namespace

extern "C" {

VELMARIS_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (object == nullptr) return velmaris::com::E_POINTER;
  *object = nullptr;
  server::Module1::Current();  // the library's first use on this thread starts its module
  const server::ClassInfo* info = server::FindClass(clsid);
  if (info == nullptr) return velmaris::com::CLASS_E_CLASSNOTAVAILABLE;
  return server::GetClassFactory(info->id, iid, object);
}

VELMARIS_EXPORT HRESULT DllCanUnloadNow() {
  return server::ModuleInUse() ? velmaris::com::S_FALSE : velmaris::com::S_OK;
}

// Records every creatable class with this library's path.
VELMARIS_EXPORT HRESULT DllRegisterServer() {
  std::string library = LibraryPath();
  if (library.empty()) return velmaris::com::SELFREG_E_CLASS;
  std::vector<velmaris::registry::ClassEntry> entries;
  for (const auto& info : server::Classes()) {
    if (server::FindBinding(info.id) == nullptr) continue;
    entries.push_back({velmaris::registry::GuidText(info.clsid), info.progid, library});
  }
  return velmaris::registry::Register(entries) ? velmaris::com::S_OK
                                               : velmaris::com::SELFREG_E_CLASS;
}

// Removes every class of this library, bound or not, so nothing of an older build lingers.
VELMARIS_EXPORT HRESULT DllUnregisterServer() {
  std::vector<std::string> clsids;
  for (const auto& info : server::Classes()) {
    clsids.push_back(velmaris::registry::GuidText(info.clsid));
  }
  return velmaris::registry::Unregister(clsids) ? velmaris::com::S_OK
                                                : velmaris::com::SELFREG_E_CLASS;
}

}  // extern "C"
