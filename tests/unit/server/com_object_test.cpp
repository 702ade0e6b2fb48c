#include "server/control_object.h"

#include <gtest/gtest.h>

#include "server/class_table.h"
#include "server/host_api.h"
#include "server/object_safety.h"

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

}  // namespace
}  // namespace velmaris::server
