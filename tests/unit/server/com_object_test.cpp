#include "server/control_object.h"

#include <gtest/gtest.h>

#include <string>

#include "base/codepage.h"

#include "server/class_table.h"
#include "server/host_api.h"
#include "server/object_safety.h"
#include "server/type_info.h"

namespace velmaris::server {
namespace {

using namespace com;

void* const kSentinel = reinterpret_cast<void*>(0x5A5A5A5A);

// A class that is no class of the library.
constexpr CLSID kStranger = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(ControlObject, AnswersOnlyItsOwnInterfaces) {
  const ClassInfo& info = ClassOf(ClassId::kFileUpload);
  IUnknown* object = nullptr;
  ASSERT_EQ(CreateControl(info.id, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  const struct {
    const char* what;
    IID iid;
    HRESULT expected;
  } cases[] = {
      {"IUnknown", IID_IUnknown, S_OK},
      {"IDispatch", IID_IDispatch, S_OK},
      {"default interface", info.iid, S_OK},
      {"IObjectSafety", IID_IObjectSafety, S_OK},
      {"event interface", info.events_iid, E_NOINTERFACE},
      {"another control's interface", ClassOf(ClassId::kMultiUpload).iid, E_NOINTERFACE},
      {"IDispatchEx", IID_IDispatchEx, E_NOINTERFACE},
      {"IClassFactory", IID_IClassFactory, E_NOINTERFACE},
      {"IPersistStream", IID_IPersistStream, E_NOINTERFACE},
      {"the class id", info.clsid, E_NOINTERFACE},
      {"null", IID_NULL, E_NOINTERFACE},
  };
  void* identity = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, &identity), S_OK);
  for (const auto& c : cases) {
    void* out = kSentinel;
    EXPECT_EQ(object->QueryInterface(c.iid, &out), c.expected) << c.what;
    if (c.expected == S_OK) {
      ASSERT_NE(out, nullptr) << c.what;
      // Every interface leads back to one identity.
      void* back = nullptr;
      static_cast<IUnknown*>(out)->QueryInterface(IID_IUnknown, &back);
      EXPECT_EQ(back, identity) << c.what;
      static_cast<IUnknown*>(back)->Release();
      static_cast<IUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr) << c.what;
    }
  }
  EXPECT_EQ(object->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
  static_cast<IUnknown*>(identity)->Release();
  EXPECT_EQ(object->Release(), 0u);
}

TEST(ControlObject, LifetimeDecidesWhetherTheLibraryMayUnload) {
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(DllGetClassObject(ClassOf(ClassId::kFileUpload).clsid, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

  void* out = kSentinel;
  auto* outer = reinterpret_cast<IUnknown*>(factory);
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  out = kSentinel;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  IDispatch* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the object keeps the library
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  ASSERT_EQ(DllGetClassObject(ClassOf(ClassId::kFileUpload).clsid, IID_IUnknown,
                              reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(1), S_OK);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // locked
  EXPECT_EQ(factory->LockServer(0), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ControlObject, OnlyBoundClassesAreCreatable) {
  for (const auto& info : Classes()) {
    void* out = kSentinel;
    HRESULT expected = FindBinding(info.id) ? S_OK : CLASS_E_CLASSNOTAVAILABLE;
    EXPECT_EQ(DllGetClassObject(info.clsid, IID_IClassFactory, &out), expected) << info.name;
    if (out != nullptr) static_cast<IUnknown*>(out)->Release();
    if (expected != S_OK) {
      EXPECT_EQ(out, nullptr) << info.name;
    }
  }
  void* out = kSentinel;
  EXPECT_EQ(DllGetClassObject(kStranger, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(ClassOf(ClassId::kFileUpload).clsid, IID_IDispatch, &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(FindBinding(ClassId::kFileUpload));
}

// Every member of a bound interface reaches the control, and the binding adds nothing the
// interface does not declare.
TEST(ControlObject, BindingsCoverTheirInterfaceExactly) {
  for (const auto& info : Classes()) {
    const ControlBinding* binding = FindBinding(info.id);
    if (binding == nullptr) continue;
    const Interface& iface = InterfaceOf(info.id);
    for (const auto& member : iface.members) {
      EXPECT_NE(binding->Find(member.id, member.kind), nullptr) << info.name << "." << member.name;
    }
    for (const auto& bound : binding->members) {
      EXPECT_NE(iface.Find(bound.id, bound.kind), nullptr)
          << info.name << " binds " << std::hex << bound.id;
    }
  }
}

// Type information says what the dispatch table says: every member with its id, kind and
// parameter counts, in slot order, under its own name.
TEST(ControlObject, TypeInfoWalksLikeTheDispatchTable) {
  auto text = [](BSTR bstr) {
    std::u16string made = BstrText(bstr);
    FreeBstr(bstr);
    return std::string(made.begin(), made.end());  // member names are ASCII
  };
  for (const auto& info : Classes()) {
    SCOPED_TRACE(info.name);
    const Interface& iface = InterfaceOf(info.id);
    ITypeInfo* type = nullptr;
    ASSERT_EQ(GetInterfaceTypeInfo(info.id, &type), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(type->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->guid == info.iid);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    ASSERT_EQ(attr->cFuncs, iface.members.size());
    type->ReleaseTypeAttr(attr);
    BSTR name = nullptr;
    ASSERT_EQ(type->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(name), iface.name);

    for (uint32_t i = 0; i < iface.members.size(); ++i) {
      const Member& member = iface.members[i];
      SCOPED_TRACE(member.name);
      FUNCDESC* func = nullptr;
      ASSERT_EQ(type->GetFuncDesc(i, &func), S_OK);
      EXPECT_EQ(func->memid, member.id);
      const INVOKEKIND kinds[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT};
      EXPECT_EQ(func->invkind, kinds[static_cast<int>(member.kind)]);
      EXPECT_EQ(func->funckind, FUNC_DISPATCH);
      ASSERT_EQ(func->cParams, static_cast<int16_t>(member.params.size()));
      int16_t optional = 0;
      for (int16_t p = 0; p < func->cParams; ++p) {
        const uint16_t flags = func->lprgelemdescParam[p].paramdesc.wParamFlags;
        EXPECT_EQ((flags & PARAMFLAG_FOPT) != 0, member.params[p].optional) << p;
        EXPECT_EQ((flags & PARAMFLAG_FOUT) != 0, member.params[p].by_ref) << p;
        optional += member.params[p].optional ? 1 : 0;
      }
      EXPECT_EQ(func->cParamsOpt, optional);
      type->ReleaseFuncDesc(func);

      BSTR names[16] = {};
      uint32_t count = 0;
      ASSERT_EQ(type->GetNames(member.id, names, 16, &count), S_OK);
      ASSERT_GE(count, 1u);
      if (member.kind != Kind::kPropertyPut) {  // a put's id names its get
        EXPECT_EQ(count, 1 + member.params.size());
      }
      EXPECT_EQ(text(names[0]), member.name);
      for (uint32_t n = 1; n < count; ++n) EXPECT_EQ(text(names[n]), member.params[n - 1].name);

      MEMBERID id = 0;
      auto wanted = codepage::FromUtf8(member.name);
      OLECHAR* lookup[] = {wanted.data()};
      EXPECT_EQ(type->GetIDsOfNames(lookup, 1, &id), S_OK);
      EXPECT_EQ(id, member.id);
    }
    FUNCDESC* none = reinterpret_cast<FUNCDESC*>(kSentinel);
    EXPECT_EQ(type->GetFuncDesc(attr->cFuncs, &none), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(none, nullptr);
    uint32_t count = 7;
    EXPECT_EQ(type->GetNames(0x12345, &name, 1, &count), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(count, 0u);
    type->Release();
  }
}

// What a caller needs beyond kinds and counts: types, by-reference targets and defaults; and the
// type information reached through the object, keeping the library loaded while held.
TEST(ControlObject, TypeInfoDescribesTypesAndDefaults) {
  IDispatch* object = nullptr;
  ASSERT_EQ(CreateControl(ClassId::kFileUpload, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK);
  uint32_t count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* type = reinterpret_cast<ITypeInfo*>(kSentinel);
  EXPECT_EQ(object->GetTypeInfo(1, 0, &type), DISP_E_BADINDEX);
  EXPECT_EQ(type, nullptr);
  ASSERT_EQ(object->GetTypeInfo(0, 0, &type), S_OK);
  object->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

  FUNCDESC* func = nullptr;
  ASSERT_EQ(type->GetFuncDesc(7, &func), S_OK);  // long GetFileSize([in] BSTR p_filename)
  EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_I4);
  EXPECT_EQ(func->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
  ASSERT_EQ(type->GetFuncDesc(3, &func), S_OK);  // void addFormData([in, out] BSTR* ...)
  EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_VOID);
  ASSERT_EQ(func->lprgelemdescParam[1].tdesc.vt, VT_PTR);
  EXPECT_EQ(func->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_BSTR);
  BSTR names[2] = {};
  ASSERT_EQ(type->GetFuncDesc(1, &func), S_OK);  // put NewFileName: the value has no name
  EXPECT_EQ(type->GetNames(func->memid, names, 2, &count), S_OK);
  EXPECT_EQ(count, 1u);
  FreeBstr(names[0]);
  type->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  ASSERT_EQ(GetInterfaceTypeInfo(ClassId::kImageUpload, &type), S_OK);
  ASSERT_EQ(type->GetFuncDesc(0, &func), S_OK);  // Init(..., [optional, defaultvalue(1)] long)
  EXPECT_EQ(func->cParamsOpt, 2);
  const PARAMDESC& last = func->lprgelemdescParam[7].paramdesc;
  ASSERT_EQ(last.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
  EXPECT_EQ(last.pparamdescex->varDefaultValue.vt, VT_I4);
  EXPECT_EQ(last.pparamdescex->varDefaultValue.lVal, 1);
  EXPECT_EQ(func->lprgelemdescParam[5].paramdesc.pparamdescex, nullptr);  // strWater
  type->Release();
}

}  // namespace
}  // namespace velmaris::server
