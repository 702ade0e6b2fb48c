// What an object's type information says of its members, for hosts that must know a method from a
// property before calling it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/com_api.h"

namespace velmaris::host {

struct MemberShape {
  std::u16string name;
  int kinds = 0;             // INVOKE_* bits: a property's get and put share one entry
  std::vector<bool> by_ref;  // per parameter of its method or getter: declared [in, out]
};

// By member id; empty for an object without type information. The names are freed through `api`.
std::map<com::DISPID, MemberShape> ReadMembers(com::IDispatch* object, const ComApi& api);

}  // namespace velmaris::host
