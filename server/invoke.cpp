#include "server/invoke.h"

#include <string_view>

#include "server/coerce.h"
#include "server/exception.h"

namespace velmaris::server {

namespace {

using namespace com;  // the COM names read best unqualified here

bool SameName(const OLECHAR* name, std::string_view ascii) {
  if (name == nullptr) return false;
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  size_t i = 0;
  for (; i < ascii.size(); ++i) {
    if (name[i] == 0 || fold(name[i]) != fold(static_cast<char16_t>(ascii[i]))) return false;
  }
  return name[i] == 0;
}

HRESULT Coerce(const Param& param, const VARIANT& in, Call::Arg& out) {
  HRESULT hr = S_OK;
  switch (param.type) {
    case Type::kString: {
      std::u16string text;
      hr = ToText(in, text);
      out = std::move(text);
      break;
    }
    case Type::kInt32: {
      int32_t number = 0;
      hr = ToInt32(in, number);
      out = number;
      break;
    }
    case Type::kBool: {
      bool flag = false;
      hr = ToBool(in, flag);
      out = flag;
      break;
    }
    case Type::kVariant:
    case Type::kNone: {
      Variant copy;
      hr = ToVariant(in, copy);
      out = std::move(copy);
      break;
    }
  }
  return hr;
}

HRESULT WriteResult(const Member& member, Variant& value, VARIANT* result) {
  if (result == nullptr) return S_OK;
  Variant out;
  HRESULT hr = S_OK;
  switch (member.result) {
    case Type::kNone:
      break;
    case Type::kString: {
      std::u16string text;
      hr = ToText(value.Get(), text);
      out = Variant(text);
      break;
    }
    case Type::kInt32: {
      int32_t number = 0;
      hr = ToInt32(value.Get(), number);
      out = Variant(number);
      break;
    }
    case Type::kBool: {
      bool flag = false;
      hr = ToBool(value.Get(), flag);
      out = Variant(flag);
      break;
    }
    case Type::kVariant:
      out = std::move(value);
      break;
  }
  if (hr != S_OK) return hr;
  *result = out.Detach();
  return S_OK;
}

}  // namespace

Variant DefaultValue(const Param& param) {
  switch (param.type) {
    case Type::kString:
      return Variant(std::u16string_view(param.default_text ? param.default_text : u""));
    case Type::kInt32:
      return Variant(param.default_number);
    case Type::kBool:
      return Variant(param.default_number != 0);
    case Type::kVariant:
    case Type::kNone:
      break;
  }
  Variant missing;
  missing.Get().vt = VT_ERROR;
  missing.Get().scode = DISP_E_PARAMNOTFOUND;
  return missing;
}

HRESULT ResolveMember(const Interface& iface, DISPID id, uint16_t flags, const Member*& member) {
  member = nullptr;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    // Only plain assignment: no member takes an object by reference.
    if (flags & DISPATCH_PROPERTYPUT) member = iface.Find(id, Kind::kPropertyPut);
  } else {
    if (flags & DISPATCH_METHOD) member = iface.Find(id, Kind::kMethod);
    if (member == nullptr && (flags & DISPATCH_PROPERTYGET)) {
      member = iface.Find(id, Kind::kPropertyGet);
    }
  }
  return member != nullptr ? S_OK : DISP_E_MEMBERNOTFOUND;
}

HRESULT ReadArguments(const Member& member, const DISPPARAMS& params, std::vector<Call::Arg>& args,
                      uint32_t* arg_err) {
  const size_t count = member.params.size();
  const uint32_t given = params.cArgs;
  const uint32_t named = params.cNamedArgs;
  if ((given > 0 && params.rgvarg == nullptr) || named > given ||
      (named > 0 && params.rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  auto fail = [arg_err](HRESULT hr, size_t index) {
    if (arg_err != nullptr) *arg_err = static_cast<uint32_t>(index);
    return hr;
  };

  const bool put = member.kind == Kind::kPropertyPut;
  if (put && (named != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
    return DISP_E_PARAMNOTFOUND;
  }
  if (given > count) return DISP_E_BADPARAMCOUNT;
  if (named == 0) {
    size_t required = 0;
    while (required < count && !member.params[required].optional) ++required;
    if (given < required) return DISP_E_BADPARAMCOUNT;
  }

  // Where each parameter's value sits in rgvarg: named values first, then the positional ones
  // in reverse order. A put's value is its last parameter.
  constexpr size_t kAbsent = static_cast<size_t>(-1);
  std::vector<size_t> source(count, kAbsent);
  const uint32_t positional = given - named;
  for (uint32_t i = 0; i < positional; ++i) source[i] = given - 1 - i;
  for (uint32_t j = 0; j < named; ++j) {
    DISPID id = params.rgdispidNamedArgs[j];
    size_t index = put && id == DISPID_PROPERTYPUT ? count - 1 : static_cast<size_t>(id);
    if (index >= count || source[index] != kAbsent) return fail(DISP_E_PARAMNOTFOUND, j);
    source[index] = j;
  }

  args.clear();
  args.reserve(count);
  for (size_t p = 0; p < count; ++p) {
    const Param& param = member.params[p];
    if (source[p] == kAbsent || IsMissing(params.rgvarg[source[p]])) {
      if (!param.optional) {
        return source[p] == kAbsent ? DISP_E_PARAMNOTOPTIONAL
                                    : fail(DISP_E_PARAMNOTOPTIONAL, source[p]);
      }
      Call::Arg value;
      Coerce(param, DefaultValue(param).Get(), value);  // the default has the parameter's type
      args.push_back(std::move(value));
      continue;
    }
    Call::Arg value;
    if (HRESULT hr = Coerce(param, params.rgvarg[source[p]], value); hr != S_OK) {
      return fail(hr, source[p]);
    }
    args.push_back(std::move(value));
  }
  return S_OK;
}

HRESULT LookupNames(const Interface& iface, OLECHAR** names, uint32_t count, DISPID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  for (uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;

  const Member* found = nullptr;
  for (const auto& member : iface.members) {
    if (SameName(names[0], member.name)) {
      found = &member;
      break;
    }
  }
  if (found == nullptr) return DISP_E_UNKNOWNNAME;
  ids[0] = found->id;

  HRESULT hr = S_OK;
  for (uint32_t i = 1; i < count; ++i) {
    // A property's get and put share the id; its parameters are the put's.
    for (const auto& member : iface.members) {
      if (member.id != found->id) continue;
      for (size_t p = 0; p < member.params.size() && ids[i] == DISPID_UNKNOWN; ++p) {
        if (SameName(names[i], member.params[p].name)) ids[i] = static_cast<DISPID>(p);
      }
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT InvokeMember(const Interface& iface, const ControlBinding& binding,
                     ControlInstance& instance, DISPID id, uint16_t flags, const DISPPARAMS* params,
                     VARIANT* result, EXCEPINFO* excep, uint32_t* arg_err) {
  if (result != nullptr) InitVariant(result);
  const Member* member = nullptr;
  if (HRESULT hr = ResolveMember(iface, id, flags, member); hr != S_OK) return hr;
  const MemberBinding* bound = binding.Find(member->id, member->kind);
  if (bound == nullptr) return DISP_E_MEMBERNOTFOUND;

  static const DISPPARAMS kNoArguments{};
  std::vector<Call::Arg> args;
  if (HRESULT hr = ReadArguments(*member, params ? *params : kNoArguments, args, arg_err);
      hr != S_OK) {
    return hr;
  }
  Call call(std::move(args));
  if (HRESULT hr = RunGuarded(excep, [&] { bound->run(instance, call); }); hr != S_OK) return hr;
  return WriteResult(*member, call.Result(), result);
}

}  // namespace velmaris::server
