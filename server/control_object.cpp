#include "server/control_object.h"

#include <atomic>
#include <memory>
#include <new>

#include "base/error.h"
#include "server/exception.h"
#include "server/invoke.h"
#include "server/module1.h"
#include "server/object_safety.h"
#include "server/type_info.h"

namespace velmaris::server {

using com::DISPID;
using com::HRESULT;
using com::REFIID;
using com::ULONG;

namespace {

std::atomic<long> g_module_refs{0};

class ControlObject final : public com::IDispatch,
                            public com::IObjectSafety,
                            public IControlAccess {
 public:
  ControlObject(const ClassInfo& info, const ControlBinding& binding,
                std::unique_ptr<ControlInstance> instance)
      : m_info(info),
        m_interface(InterfaceOf(info.id)),
        m_binding(binding),
        m_instance(std::move(instance)) {
    ModuleAddRef();
  }

  // IUnknown
  HRESULT VELMARIS_STDCALL QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return com::E_POINTER;
    *object = nullptr;
    if (riid == com::IID_IUnknown || riid == com::IID_IDispatch || riid == m_info.iid) {
      *object = static_cast<com::IDispatch*>(this);
    } else if (riid == com::IID_IObjectSafety) {
      *object = static_cast<com::IObjectSafety*>(this);
    } else if (riid == IID_IControlAccess) {
      *object = static_cast<IControlAccess*>(this);
    } else {
      return com::E_NOINTERFACE;
    }
    AddRef();
    return com::S_OK;
  }
  ULONG VELMARIS_STDCALL AddRef() override { return ++m_refs; }
  ULONG VELMARIS_STDCALL Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch
  HRESULT VELMARIS_STDCALL GetTypeInfoCount(uint32_t* count) override {
    if (count == nullptr) return com::E_INVALIDARG;
    *count = 1;
    return com::S_OK;
  }
  HRESULT VELMARIS_STDCALL GetTypeInfo(uint32_t index, com::LCID, com::ITypeInfo** info) override {
    if (info == nullptr) return com::E_POINTER;
    *info = nullptr;
    if (index != 0) return com::DISP_E_BADINDEX;
    return GetInterfaceTypeInfo(m_info.id, info);
  }
  HRESULT VELMARIS_STDCALL GetIDsOfNames(REFIID riid, com::OLECHAR** names, uint32_t count,
                                         com::LCID, DISPID* ids) override {
    if (!(riid == com::IID_NULL)) return com::DISP_E_UNKNOWNINTERFACE;
    return LookupNames(m_interface, names, count, ids);
  }
  HRESULT VELMARIS_STDCALL Invoke(DISPID id, REFIID riid, com::LCID, uint16_t flags,
                                  com::DISPPARAMS* params, com::VARIANT* result,
                                  com::EXCEPINFO* excep, uint32_t* arg_err) override {
    if (!(riid == com::IID_NULL)) return com::DISP_E_UNKNOWNINTERFACE;
    // A handler may run the message loop, where the page can let go of this object.
    AddRef();
    HRESULT hr = InvokeMember(m_interface, m_binding, *m_instance, id, flags, params, result, excep,
                              arg_err);
    Release();
    return hr;
  }

  // IObjectSafety
  HRESULT VELMARIS_STDCALL GetInterfaceSafetyOptions(const com::IID* riid, uint32_t* supported,
                                                     uint32_t* enabled) override {
    return GetSafetyOptions(Module1::Current().Safety(), riid, supported, enabled);
  }
  HRESULT VELMARIS_STDCALL SetInterfaceSafetyOptions(const com::IID* riid, uint32_t mask,
                                                     uint32_t enabled) override {
    return SetSafetyOptions(Module1::Current().Safety(), riid, mask, enabled);
  }

  // IControlAccess
  ControlInstance& Instance() override { return *m_instance; }

 private:
  ~ControlObject() { ModuleRelease(); }

  std::atomic<ULONG> m_refs{1};
  const ClassInfo& m_info;
  const Interface& m_interface;
  const ControlBinding& m_binding;
  std::unique_ptr<ControlInstance> m_instance;
};

class ClassFactory final : public StaticObject<com::IClassFactory, com::IID_IClassFactory> {
 public:
  explicit ClassFactory(ClassId id) : m_id(id) {}

  HRESULT VELMARIS_STDCALL CreateInstance(com::IUnknown* outer, REFIID riid,
                                          void** object) override {
    if (object == nullptr) return com::E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return com::CLASS_E_NOAGGREGATION;
    return CreateControl(m_id, riid, object);
  }
  HRESULT VELMARIS_STDCALL LockServer(int32_t lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return com::S_OK;
  }

 private:
  ClassId m_id;
};

}  // namespace

void ModuleAddRef() {
  ++g_module_refs;
}
void ModuleRelease() {
  --g_module_refs;
}
bool ModuleInUse() {
  return g_module_refs.load() > 0;
}

HRESULT CreateControl(ClassId id, REFIID riid, void** object) {
  if (object == nullptr) return com::E_POINTER;
  *object = nullptr;
  const ControlBinding* binding = FindBinding(id);
  if (binding == nullptr) return com::CLASS_E_CLASSNOTAVAILABLE;
  std::unique_ptr<ControlInstance> instance;
  try {
    instance = binding->create(Module1::Current().GetPlatform());
  } catch (...) {
    return ScodeOf(
        CurrentError(
            {.exception = com::E_FAIL, .unknown = com::E_FAIL, .out_of_memory = com::E_OUTOFMEMORY})
            .number);
  }
  return WrapControl(ClassOf(id), *binding, std::move(instance), riid, object);
}

HRESULT WrapControl(const ClassInfo& info, const ControlBinding& binding,
                    std::unique_ptr<ControlInstance> instance, REFIID riid, void** object) {
  if (object == nullptr) return com::E_POINTER;
  *object = nullptr;
  auto* made = new (std::nothrow) ControlObject(info, binding, std::move(instance));
  if (made == nullptr) return com::E_OUTOFMEMORY;
  HRESULT hr = made->QueryInterface(riid, object);
  made->Release();  // the caller's reference, if any, is the one left
  return hr;
}

HRESULT GetClassFactory(ClassId id, REFIID riid, void** object) {
  if (object == nullptr) return com::E_POINTER;
  *object = nullptr;
  if (FindBinding(id) == nullptr) return com::CLASS_E_CLASSNOTAVAILABLE;
  static ClassFactory factories[] = {
      ClassFactory(ClassId::kFileUpload), ClassFactory(ClassId::kMultiUpload),
      ClassFactory(ClassId::kOfficeImport), ClassFactory(ClassId::kImageUpload),
      ClassFactory(ClassId::kImageImport)};
  return factories[static_cast<int>(id)].QueryInterface(riid, object);
}

}  // namespace velmaris::server
