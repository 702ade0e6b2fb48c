// Registration in the system registry, with the type library the DLL carries.
#include <vector>

#include "base/codepage.h"
#include "server/class_table.h"
#include "server/control_object.h"
#include "server/registration.h"
#include "server/registry.h"
#include "server/win32/system.h"

namespace velmaris::server {

namespace {

win32::ClassKeys KeysOf(const ClassInfo& info) {
  return {codepage::FromUtf8(registry::GuidText(info.clsid)), codepage::FromUtf8(info.progid),
          codepage::FromUtf8(info.name)};
}

}  // namespace

com::HRESULT RegisterClasses() {
  const std::u16string module = win32::ModulePath();
  if (module.empty()) return com::SELFREG_E_CLASS;
  std::vector<win32::ClassKeys> classes;
  for (const auto& info : Classes()) {
    if (FindBinding(info.id) != nullptr) classes.push_back(KeysOf(info));
  }
  return win32::RegisterServer(module, classes, codepage::FromUtf8(registry::GuidText(kLibraryId)))
             ? com::S_OK
             : com::SELFREG_E_CLASS;
}

com::HRESULT UnregisterClasses() {
  std::vector<win32::ClassKeys> classes;
  for (const auto& info : Classes()) classes.push_back(KeysOf(info));
  return win32::UnregisterServer(classes, &kLibraryId, 1, 0) ? com::S_OK : com::SELFREG_E_CLASS;
}

}  // namespace velmaris::server
