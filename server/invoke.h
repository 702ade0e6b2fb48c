// GetIDsOfNames and Invoke as a classic in-process server answers them, derived from the dispatch
// tables: flags checked against the member's kind, arguments read in reverse order and coerced to
// the parameter types, errors turned into DISP_E_EXCEPTION in one place.
#pragma once

#include <vector>

#include "server/binding.h"
#include "server/com.h"
#include "server/dispatch_table.h"

namespace velmaris::server {

// The member a call with `flags` means. A method answers DISPATCH_METHOD (alone or with
// DISPATCH_PROPERTYGET, as script engines send calls) but not DISPATCH_PROPERTYGET alone.
com::HRESULT ResolveMember(const Interface& iface, com::DISPID id, uint16_t flags,
                           const Member*& member);

// The value of an optional parameter the caller left out: its declared default, or for a variant
// the marker of a missing argument, as the caller would have passed it.
com::Variant DefaultValue(const Param& param);

// The call's arguments in the member's parameter order, coerced to their types. On a failure
// that concerns one argument, `*arg_err` (when given) is its index in rgvarg.
com::HRESULT ReadArguments(const Member& member, const com::DISPPARAMS& params,
                           std::vector<Call::Arg>& args, uint32_t* arg_err);

// Member names (ignoring case) to dispatch ids; further names are the member's parameters, whose
// ids are their positions. Unknown names get DISPID_UNKNOWN and the call DISP_E_UNKNOWNNAME.
com::HRESULT LookupNames(const Interface& iface, com::OLECHAR** names, uint32_t count,
                         com::DISPID* ids);

com::HRESULT InvokeMember(const Interface& iface, const ControlBinding& binding,
                          ControlInstance& instance, com::DISPID id, uint16_t flags,
                          const com::DISPPARAMS* params, com::VARIANT* result,
                          com::EXCEPINFO* excep, uint32_t* arg_err);

}  // namespace velmaris::server
