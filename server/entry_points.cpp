// The four entry points of an in-process server, in the system's calling convention.
#include "server/class_table.h"
#include "server/control_object.h"
#include "server/export.h"
#include "server/host_api.h"
#include "server/module1.h"
#include "server/registration.h"

using velmaris::com::CLSID;
using velmaris::com::HRESULT;
using velmaris::com::IID;

namespace server = velmaris::server;

extern "C" {

VELMARIS_EXPORT HRESULT VELMARIS_STDCALL DllGetClassObject(const CLSID& clsid, const IID& iid,
                                                           void** object) {
  if (object == nullptr) return velmaris::com::E_POINTER;
  *object = nullptr;
  server::Module1::Current();  // the library's first use on this thread starts its module
  const server::ClassInfo* info = server::FindClass(clsid);
  if (info == nullptr) return velmaris::com::CLASS_E_CLASSNOTAVAILABLE;
  return server::GetClassFactory(info->id, iid, object);
}

VELMARIS_EXPORT HRESULT VELMARIS_STDCALL DllCanUnloadNow() {
  return server::ModuleInUse() ? velmaris::com::S_FALSE : velmaris::com::S_OK;
}

VELMARIS_EXPORT HRESULT VELMARIS_STDCALL DllRegisterServer() {
  return server::RegisterClasses();
}

VELMARIS_EXPORT HRESULT VELMARIS_STDCALL DllUnregisterServer() {
  return server::UnregisterClasses();
}

}  // extern "C"
