// The dispatch interfaces of the five controls as data: every member's name, dispatch id, kind,
// parameters and result. GetIDsOfNames, Invoke and the type library text all read these tables;
// nothing else lists a member.
#pragma once

#include <cstdint>
#include <vector>

#include "server/com.h"

namespace velmaris::server {

enum class Type { kNone, kString, kInt32, kBool, kVariant };
enum class Kind { kMethod, kPropertyGet, kPropertyPut };

struct Param {
  const char* name;
  Type type;
  bool by_ref = false;  // declared [in, out]; the interfaces never write back through it
  bool optional = false;
  int32_t default_number = 0;              // default of an optional number or boolean
  const char16_t* default_text = nullptr;  // default of an optional string
};

// An optional parameter of any type but a variant declares its default; a variant left out stays
// missing, as the caller would have passed it.
inline bool HasDefault(const Param& param) {
  return param.optional && param.type != Type::kVariant;
}

struct Member {
  const char* name;
  com::DISPID id;
  Kind kind;
  std::vector<Param> params;
  Type result = Type::kNone;
};

struct Interface {
  const char* name;             // "_FileUpload"
  std::vector<Member> members;  // in slot order

  const Member* Find(com::DISPID id, Kind kind) const;
  bool Has(com::DISPID id) const;
};

enum class ClassId { kFileUpload, kMultiUpload, kOfficeImport, kImageUpload, kImageImport };

const Interface& InterfaceOf(ClassId id);

}  // namespace velmaris::server
