// Type information from the type library registered with the DLL.
#include "server/type_info.h"
#include "server/class_table.h"
#include "server/win32/system.h"

namespace velmaris::server {

com::HRESULT GetInterfaceTypeInfo(ClassId id, com::ITypeInfo** info) {
  if (info == nullptr) return com::E_POINTER;
  *info = nullptr;
  return win32::RegisteredTypeInfo(&kLibraryId, 1, 0, &ClassOf(id).iid,
                                   reinterpret_cast<void**>(info));
}

}  // namespace velmaris::server
