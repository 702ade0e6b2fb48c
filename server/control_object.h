// The COM side of a control: one object per control instance answering IUnknown, IDispatch (also
// as its default interface) and IObjectSafety; the class factories; and the module-wide count of
// live objects and locks that decides whether the library may be unloaded.
#pragma once

#include <memory>

#include "server/binding.h"
#include "server/class_table.h"
#include "server/com.h"

namespace velmaris::server {

// The library's private way from a control's IUnknown to its C++ control, for the host services.
// Not a dispatch interface: no script can reach it.
struct IControlAccess : com::IUnknown {
  virtual ControlInstance& Instance() = 0;

 protected:
  ~IControlAccess() = default;
};

// {BF317F06-2049-4132-9ECC-020ABCBE4699}
inline constexpr com::IID IID_IControlAccess = {
    0xBF317F06, 0x2049, 0x4132, {0x9E, 0xCC, 0x02, 0x0A, 0xBC, 0xBE, 0x46, 0x99}};

// Live objects and factory references, plus LockServer locks.
void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

// The IUnknown of an object as long-lived as the library (class factories, type information),
// answering IUnknown and `kIid`: a reference held on one keeps the library loaded, as an object
// does.
template <class I, const com::IID& kIid>
class StaticObject : public I {
 public:
  com::HRESULT VELMARIS_STDCALL QueryInterface(com::REFIID riid, void** object) override {
    if (object == nullptr) return com::E_POINTER;
    *object = nullptr;
    if (!(riid == com::IID_IUnknown || riid == kIid)) return com::E_NOINTERFACE;
    *object = static_cast<I*>(this);
    AddRef();
    return com::S_OK;
  }
  com::ULONG VELMARIS_STDCALL AddRef() override {
    ModuleAddRef();
    return 2;
  }
  com::ULONG VELMARIS_STDCALL Release() override {
    ModuleRelease();
    return 1;
  }

 protected:
  ~StaticObject() = default;
};

// Creates a control of a bound class and answers `riid` on it.
com::HRESULT CreateControl(ClassId id, com::REFIID riid, void** object);
// The COM object around a control that already exists, answering `riid`.
com::HRESULT WrapControl(const ClassInfo& info, const ControlBinding& binding,
                         std::unique_ptr<ControlInstance> instance, com::REFIID riid,
                         void** object);

// The class factory of a bound class, answering `riid`.
com::HRESULT GetClassFactory(ClassId id, com::REFIID riid, void** object);

}  // namespace velmaris::server
