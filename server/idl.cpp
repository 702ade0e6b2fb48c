#include "server/idl.h"

#include <cstdio>

#include "base/codepage.h"
#include "server/class_table.h"
#include "server/dispatch_table.h"
#include "server/registry.h"

namespace velmaris::server {

namespace {

std::string Uuid(const com::GUID& guid) {
  std::string text = registry::GuidText(guid);
  return text.substr(1, text.size() - 2);
}

std::string Hex(com::DISPID id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(id));
  return text;
}

const char* TypeName(Type type) {
  switch (type) {
    case Type::kNone:
      return "void";
    case Type::kString:
      return "BSTR";
    case Type::kInt32:
      return "long";
    case Type::kBool:
      return "VARIANT_BOOL";
    case Type::kVariant:
      return "VARIANT";
  }
  return "void";
}

std::string Quoted(const char16_t* text) {
  std::string out = "\"";
  for (char c : codepage::ToUtf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ParamText(const Param& param) {
  std::string attributes = param.by_ref ? "in, out" : "in";
  if (param.optional) attributes += ", optional";
  if (HasDefault(param)) {
    attributes +=
        ", defaultvalue(" +
        (param.type == Type::kString ? Quoted(param.default_text ? param.default_text : u"")
                                     : std::to_string(param.default_number)) +
        ")";
  }
  std::string type = TypeName(param.type);
  if (param.by_ref) type += "*";
  return "[" + attributes + "] " + type + " " + param.name;
}

std::string MemberText(const Member& member) {
  std::string attributes = "id(" + Hex(member.id) + ")";
  if (member.kind == Kind::kPropertyGet) attributes += ", propget";
  if (member.kind == Kind::kPropertyPut) attributes += ", propput";
  std::string params;
  for (const auto& param : member.params) {
    params += (params.empty() ? "" : ", ") + ParamText(param);
  }
  return "            [" + attributes + "]\n            " + TypeName(member.result) + " " +
         member.name + "(" + params + ");\n";
}

std::string DispinterfaceText(const com::IID& iid, const char* name,
                              const std::vector<Member>& members, IdlCompiler compiler) {
  std::string text = "    [\n      uuid(" + Uuid(iid) + "),\n      hidden" +
                     (compiler == IdlCompiler::kMidl ? ",\n      nonextensible" : "") +
                     "\n    ]\n    dispinterface " + name +
                     " {\n        properties:\n        methods:\n";
  for (const auto& member : members) text += MemberText(member);
  return text + "    };\n\n";
}

}  // namespace

std::string TypeLibraryText(IdlCompiler compiler) {
  std::string text =
      "// VelmarisClient type library: generated from the library's dispatch tables.\n";
  if (compiler == IdlCompiler::kWidl) {
    text +=
        "typedef short VARIANT_BOOL;\n"
        "typedef unsigned short OLECHAR;\n"
        "typedef OLECHAR* BSTR;\n"
        "typedef struct tagVARIANT { int placeholder; } VARIANT;\n"
        "[object, uuid(00000000-0000-0000-C000-000000000046)] interface IUnknown { }\n"
        "[object, uuid(00020400-0000-0000-C000-000000000046)] interface IDispatch : IUnknown { }\n"
        "\n";
  }
  text += "[\n  uuid(" + Uuid(kLibraryId) +
          "),\n  version(1.0),\n  helpstring(\"VelmarisClient\")\n]\n"
          "library VelmarisClient\n{\n    importlib(\"stdole2.tlb\");\n\n";
  for (const auto& info : Classes()) {
    text += std::string("    dispinterface ") + InterfaceOf(info.id).name + ";\n";
    text += std::string("    dispinterface ") + info.events_name + ";\n";
  }
  text += "\n";
  for (const auto& info : Classes()) {
    text += DispinterfaceText(info.iid, InterfaceOf(info.id).name, InterfaceOf(info.id).members,
                              compiler);
    text += DispinterfaceText(info.events_iid, info.events_name, {}, compiler);
    text += "    [\n      uuid(" + Uuid(info.clsid) + "),\n      control\n    ]\n    coclass " +
            info.name + " {\n        [default] dispinterface " + InterfaceOf(info.id).name +
            ";\n        [default, source] dispinterface " + info.events_name + ";\n    };\n\n";
  }
  return text + "};\n";
}

}  // namespace velmaris::server
