// The built library, loaded the way a host loads it: dlopen, the entry points by name, and
// nothing of its insides.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <string>

#include "server/class_table.h"
#include "server/com.h"
#include "server/registry.h"
#include "tests/support/temp_dir.h"

namespace velmaris::server {
namespace {

using namespace com;

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = dlopen(VELMARIS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle != nullptr) dlclose(handle);
  }
  template <typename F>
  F* Get(const char* name) {
    void* symbol = dlsym(handle, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<F*>(symbol);
  }

  void* handle = nullptr;
};

TEST_F(Library, ExportsTheEntryPointsAndNothingOfItsInsides) {
  const char* exported[] = {
      "DllGetClassObject",
      "DllCanUnloadNow",
      "DllRegisterServer",
      "DllUnregisterServer",
      "SysAllocString",
      "SysAllocStringLen",
      "SysFreeString",
      "SysStringLen",
      "VariantInit",
      "VariantClear",
      "VariantCopy",
      "VelmarisPump",
      "VelmarisAnswerMessageBox",
      "VelmarisAnswerFileDialog",
      "VelmarisAnswerFolder",
      "VelmarisMessages",
      "VelmarisFormGet",
      "VelmarisFormChildren",
      "VelmarisFormAct",
  };
  for (const char* name : exported) EXPECT_NE(dlsym(handle, name), nullptr) << name;
  // velmaris::server::ModuleInUse() and velmaris::Raise(int)
  EXPECT_EQ(dlsym(handle, "_ZN8velmaris6server11ModuleInUseEv"), nullptr);
  EXPECT_EQ(dlsym(handle, "_ZN8velmaris5RaiseEi"), nullptr);
}

TEST_F(Library, CreatesAControlAndCallsIt) {
  auto get_class_object = Get<HRESULT(const CLSID&, const IID&, void**)>("DllGetClassObject");
  auto can_unload = Get<HRESULT()>("DllCanUnloadNow");
  ASSERT_TRUE(get_class_object && can_unload);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(get_class_object(ClassOf(ClassId::kFileUpload).clsid, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  IDispatch* control = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control)),
            S_OK);
  factory->Release();

  OLECHAR* name = const_cast<OLECHAR*>(u"TestOK");
  DISPID id = 0;
  ASSERT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 0x60030007);
  DISPPARAMS none{};
  VARIANT result{};
  result.vt = VT_I4;
  EXPECT_EQ(control->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result,
                            nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_EMPTY);
  EXPECT_EQ(can_unload(), S_FALSE);
  EXPECT_EQ(control->Release(), 0u);
  EXPECT_EQ(can_unload(), S_OK);
}

TEST_F(Library, RegistersItsClassesWithItsOwnPath) {
  auto register_server = Get<HRESULT()>("DllRegisterServer");
  auto unregister_server = Get<HRESULT()>("DllUnregisterServer");
  ASSERT_TRUE(register_server && unregister_server);

  velmaris::testing::TempDir folder;
  auto file = folder.Path() / "config" / "classes.reg";
  velmaris::testing::ScopedEnv env("VELMARIS_REGISTRY", file.string().c_str());
  const registry::ClassEntry foreign{"{00000000-1111-2222-3333-444444444444}", "Other.Thing",
                                     "/opt/other.so"};
  ASSERT_TRUE(registry::Register({foreign}));

  char library[PATH_MAX];
  ASSERT_NE(realpath(VELMARIS_LIBRARY, library), nullptr);
  ASSERT_EQ(register_server(), S_OK);
  ASSERT_EQ(register_server(), S_OK);  // again: replaced, not doubled
  auto entry = registry::FindProgId("velmarisclient.fileupload");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->clsid, registry::GuidText(ClassOf(ClassId::kFileUpload).clsid));
  EXPECT_EQ(entry->progid, "VelmarisClient.FileUpload");
  EXPECT_EQ(entry->library, library);
  auto all = registry::ReadAll();
  for (const auto& info : Classes()) {
    std::string clsid = registry::GuidText(info.clsid);
    EXPECT_LE(std::count_if(all.begin(), all.end(),
                            [&](const registry::ClassEntry& e) { return e.clsid == clsid; }),
              1)
        << info.name;
  }

  ASSERT_EQ(unregister_server(), S_OK);
  all = registry::ReadAll();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].progid, foreign.progid);

  velmaris::testing::ScopedEnv nowhere("VELMARIS_REGISTRY", "/proc/velmaris/classes.reg");
  EXPECT_EQ(register_server(), SELFREG_E_CLASS);
  EXPECT_EQ(unregister_server(), SELFREG_E_CLASS);
}

}  // namespace
}  // namespace velmaris::server
