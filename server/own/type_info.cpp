#include "server/type_info.h"

#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "base/codepage.h"
#include "server/bstr.h"
#include "server/class_table.h"
#include "server/control_object.h"
#include "server/invoke.h"

namespace velmaris::server {

namespace {

using namespace com;  // the COM names read best unqualified here

VARTYPE VarType(Type type) {
  switch (type) {
    case Type::kNone:
      return VT_VOID;
    case Type::kString:
      return VT_BSTR;
    case Type::kInt32:
      return VT_I4;
    case Type::kBool:
      return VT_BOOL;
    case Type::kVariant:
      return VT_VARIANT;
  }
  return VT_VOID;
}

INVOKEKIND InvokeKind(Kind kind) {
  switch (kind) {
    case Kind::kMethod:
      return INVOKE_FUNC;
    case Kind::kPropertyGet:
      return INVOKE_PROPERTYGET;
    case Kind::kPropertyPut:
      return INVOKE_PROPERTYPUT;
  }
  return INVOKE_FUNC;
}

// One member's description and the storage its pointers lead into. Never moved once built, so
// those pointers stay good for the library's life.
class Function {
 public:
  explicit Function(const Member& member)
      : m_params(member.params.size()),
        m_targets(member.params.size()),
        m_defaults(member.params.size()) {
    m_desc.memid = member.id;
    m_desc.funckind = FUNC_DISPATCH;
    m_desc.invkind = InvokeKind(member.kind);
    m_desc.callconv = CC_STDCALL;
    m_desc.cParams = static_cast<int16_t>(member.params.size());
    m_desc.elemdescFunc.tdesc.vt = VarType(member.result);
    m_desc.lprgelemdescParam = m_params.empty() ? nullptr : m_params.data();
    for (size_t i = 0; i < member.params.size(); ++i) Describe(member.params[i], i);
  }
  ~Function() {
    for (auto& value : m_defaults) ClearVariant(&value.varDefaultValue);
  }
  Function(const Function&) = delete;
  Function& operator=(const Function&) = delete;

  FUNCDESC* Desc() { return &m_desc; }

 private:
  void Describe(const Param& param, size_t i) {
    ELEMDESC& elem = m_params[i];
    elem.tdesc.vt = VarType(param.type);
    uint16_t flags = PARAMFLAG_FIN;
    if (param.by_ref) {
      m_targets[i].vt = elem.tdesc.vt;
      elem.tdesc.vt = VT_PTR;
      elem.tdesc.lptdesc = &m_targets[i];
      flags |= PARAMFLAG_FOUT;
    }
    if (param.optional) {
      flags |= PARAMFLAG_FOPT;
      ++m_desc.cParamsOpt;
    }
    if (HasDefault(param)) {
      flags |= PARAMFLAG_FHASDEFAULT;
      m_defaults[i].cBytes = sizeof(PARAMDESCEX);
      m_defaults[i].varDefaultValue = DefaultValue(param).Detach();
      elem.paramdesc.pparamdescex = &m_defaults[i];
    }
    elem.paramdesc.wParamFlags = flags;
  }

  FUNCDESC m_desc{};
  std::vector<ELEMDESC> m_params;
  std::vector<TYPEDESC> m_targets;      // what the by-reference parameters point to
  std::vector<PARAMDESCEX> m_defaults;  // value-initialised: VT_EMPTY where there is none
};

// One dispatch interface as a type description. Static, like the class factories; the
// descriptions it hands out live as long as the library, so the Release* calls free nothing.
// It describes the interface's own members only, with no base interface (cImplTypes 0).
class InterfaceTypeInfo final : public StaticObject<ITypeInfo, IID_ITypeInfo> {
 public:
  explicit InterfaceTypeInfo(ClassId id) : m_interface(InterfaceOf(id)) {
    for (const auto& member : m_interface.members) {
      m_functions.push_back(std::make_unique<Function>(member));
    }
    m_attr.guid = ClassOf(id).iid;
    m_attr.memidConstructor = MEMBERID_NIL;
    m_attr.memidDestructor = MEMBERID_NIL;
    m_attr.cbSizeInstance = sizeof(void*);
    m_attr.typekind = TKIND_DISPATCH;
    m_attr.cFuncs = static_cast<uint16_t>(m_functions.size());
    m_attr.cbSizeVft = 7 * sizeof(void*);  // IDispatch's slots
    m_attr.cbAlignment = alignof(void*);
    // As the type library text declares it: hidden, nonextensible.
    m_attr.wTypeFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    m_attr.tdescAlias.vt = VT_EMPTY;
  }
  InterfaceTypeInfo(const InterfaceTypeInfo&) = delete;
  InterfaceTypeInfo& operator=(const InterfaceTypeInfo&) = delete;

  // What a caller reads
  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    if (attr == nullptr) return E_INVALIDARG;
    *attr = &m_attr;
    return S_OK;
  }
  HRESULT GetFuncDesc(uint32_t index, FUNCDESC** desc) override {
    if (desc == nullptr) return E_INVALIDARG;
    *desc = nullptr;
    if (index >= m_functions.size()) return TYPE_E_ELEMENTNOTFOUND;
    *desc = m_functions[index]->Desc();
    return S_OK;
  }
  HRESULT GetNames(MEMBERID id, BSTR* names, uint32_t max_names, uint32_t* count) override {
    if (names == nullptr || count == nullptr) return E_INVALIDARG;
    *count = 0;
    const Member* member = FindMember(id);
    if (member == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    std::vector<const char*> wanted{member->name};
    for (const auto& param : member->params) wanted.push_back(param.name);
    // The value of a put is the right-hand side of an assignment: it has no name.
    if (member->kind == Kind::kPropertyPut && !member->params.empty()) wanted.pop_back();
    uint32_t made = 0;
    for (; made < wanted.size() && made < max_names; ++made) {
      names[made] = AllocBstr(codepage::FromUtf8(wanted[made]));
      if (names[made] == nullptr) {
        while (made > 0) FreeBstr(names[--made]);
        return E_OUTOFMEMORY;
      }
    }
    *count = made;
    return S_OK;
  }
  HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, uint32_t* help_context,
                           BSTR* help_file) override {
    if (name != nullptr) *name = nullptr;
    if (doc != nullptr) *doc = nullptr;
    if (help_context != nullptr) *help_context = 0;
    if (help_file != nullptr) *help_file = nullptr;
    const char* text = m_interface.name;
    if (id != MEMBERID_NIL) {
      const Member* member = FindMember(id);
      if (member == nullptr) return TYPE_E_ELEMENTNOTFOUND;
      text = member->name;
    }
    if (name != nullptr) {
      *name = AllocBstr(codepage::FromUtf8(text));
      if (*name == nullptr) return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR*) override {}
  void ReleaseFuncDesc(FUNCDESC*) override {}
  void ReleaseVarDesc(VARDESC*) override {}

  // The same lookups and calls as the object's own IDispatch.
  HRESULT GetIDsOfNames(OLECHAR** names, uint32_t count, MEMBERID* ids) override {
    return LookupNames(m_interface, names, count, ids);
  }
  HRESULT Invoke(void* instance, MEMBERID id, uint16_t flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, uint32_t* arg_err) override {
    if (instance == nullptr) return E_INVALIDARG;
    return static_cast<IDispatch*>(instance)->Invoke(id, IID_NULL, 0, flags, params, result, excep,
                                                     arg_err);
  }

  // What the interface does not have: variables (properties are get and put functions), base
  // interfaces and the types they would refer to.
  HRESULT GetVarDesc(uint32_t, VARDESC** desc) override {
    if (desc != nullptr) *desc = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetRefTypeOfImplType(uint32_t, HREFTYPE*) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT GetImplTypeFlags(uint32_t, int32_t*) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }

  // Compiler binding, modules, creation and the containing library: no caller of a control's
  // dispatch interface needs them.
  HRESULT GetTypeComp(ITypeComp** comp) override {
    if (comp != nullptr) *comp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dll, BSTR* name, uint16_t*) override {
    if (dll != nullptr) *dll = nullptr;
    if (name != nullptr) *name = nullptr;
    return E_NOTIMPL;
  }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** address) override {
    if (address != nullptr) *address = nullptr;
    return E_NOTIMPL;
  }
  HRESULT CreateInstance(IUnknown*, REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetMops(MEMBERID, BSTR* mops) override {
    if (mops != nullptr) *mops = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetContainingTypeLib(ITypeLib** lib, uint32_t*) override {
    if (lib != nullptr) *lib = nullptr;
    return E_NOTIMPL;
  }

 private:
  // A property's get and put share their id; the first in slot order speaks for both.
  const Member* FindMember(MEMBERID id) const {
    for (const auto& member : m_interface.members) {
      if (member.id == id) return &member;
    }
    return nullptr;
  }

  const Interface& m_interface;
  std::vector<std::unique_ptr<Function>> m_functions;
  TYPEATTR m_attr{};
};

}  // namespace

HRESULT GetInterfaceTypeInfo(ClassId id, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  try {
    static InterfaceTypeInfo infos[] = {
        InterfaceTypeInfo(ClassId::kFileUpload), InterfaceTypeInfo(ClassId::kMultiUpload),
        InterfaceTypeInfo(ClassId::kOfficeImport), InterfaceTypeInfo(ClassId::kImageUpload),
        InterfaceTypeInfo(ClassId::kImageImport)};
    return infos[static_cast<int>(id)].QueryInterface(IID_ITypeInfo,
                                                      reinterpret_cast<void**>(info));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace velmaris::server
