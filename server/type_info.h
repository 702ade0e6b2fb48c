// What GetTypeInfo answers: each control's dispatch interface described as ITypeInfo, built from
// its dispatch table. One function, so that a build on the system's own runtime can answer from
// the registered type library instead.
#pragma once

#include "server/com.h"
#include "server/dispatch_table.h"

namespace velmaris::server {

// The type information of class `id`'s default interface, with a reference for the caller. It
// keeps the library loaded while held, as an object does.
com::HRESULT GetInterfaceTypeInfo(ClassId id, com::ITypeInfo** info);

}  // namespace velmaris::server
