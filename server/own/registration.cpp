// Registration in the per-user class registry file, the system registry's stand-in here.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "server/class_table.h"
#include "server/control_object.h"
#include "server/registration.h"
#include "server/registry.h"

namespace velmaris::server {

namespace {

// The absolute path of this library, as the registry records it.
std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&RegisterClasses), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

}  // namespace

com::HRESULT RegisterClasses() {
  std::string library = LibraryPath();
  if (library.empty()) return com::SELFREG_E_CLASS;
  std::vector<registry::ClassEntry> entries;
  for (const auto& info : Classes()) {
    if (FindBinding(info.id) == nullptr) continue;
    entries.push_back({registry::GuidText(info.clsid), info.progid, library});
  }
  return registry::Register(entries) ? com::S_OK : com::SELFREG_E_CLASS;
}

com::HRESULT UnregisterClasses() {
  std::vector<std::string> clsids;
  for (const auto& info : Classes()) clsids.push_back(registry::GuidText(info.clsid));
  return registry::Unregister(clsids) ? com::S_OK : com::SELFREG_E_CLASS;
}

}  // namespace velmaris::server
