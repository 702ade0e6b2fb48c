// The classes the library serves: their names, ProgIDs and fixed identifiers. Identifiers never
// change once published: pages and registrations out there refer to them.
#pragma once

#include <span>

#include "server/com.h"
#include "server/dispatch_table.h"

namespace velmaris::server {

struct ClassInfo {
  ClassId id;
  const char* name;    // "FileUpload"
  const char* progid;  // "VelmarisClient.FileUpload"
  com::CLSID clsid;
  com::IID iid;             // the default dispatch interface
  const char* events_name;  // "__FileUpload": declares no events
  com::IID events_iid;
};

// The type library's own identifier.
extern const com::GUID kLibraryId;

std::span<const ClassInfo> Classes();
const ClassInfo& ClassOf(ClassId id);
const ClassInfo* FindClass(const com::CLSID& clsid);

}  // namespace velmaris::server
