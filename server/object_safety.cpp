#include "server/object_safety.h"

namespace velmaris::server {

namespace {

using com::E_FAIL;
using com::E_NOINTERFACE;
using com::E_POINTER;
using com::HRESULT;
using com::S_OK;

bool IsPersistence(const com::IID& riid) {
  return riid == com::IID_IPersistStorage || riid == com::IID_IPersistStream ||
         riid == com::IID_IPersistPropertyBag;
}

}  // namespace

HRESULT GetSafetyOptions(const SafetyFlags& flags, const com::IID* riid, uint32_t* supported,
                         uint32_t* enabled) {
  if (supported == nullptr) return E_POINTER;
  *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  if (riid == nullptr) return S_OK;
  if (enabled == nullptr) return E_POINTER;
  if (*riid == com::IID_IDispatch) {
    *enabled = flags.SafeForScripting ? INTERFACESAFE_FOR_UNTRUSTED_CALLER : 0;
    return S_OK;
  }
  // IDispatchEx is reported in the initialisation group here, though Set takes it for scripting.
  if (IsPersistence(*riid) || *riid == com::IID_IDispatchEx) {
    *enabled = flags.SafeForInitializing ? INTERFACESAFE_FOR_UNTRUSTED_DATA : 0;
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT SetSafetyOptions(const SafetyFlags& flags, const com::IID* riid, uint32_t mask,
                         uint32_t enabled) {
  if (riid == nullptr) return S_OK;
  const uint32_t asked = mask & enabled;
  if (*riid == com::IID_IDispatch || *riid == com::IID_IDispatchEx) {
    return flags.SafeForScripting && asked == INTERFACESAFE_FOR_UNTRUSTED_CALLER ? S_OK : E_FAIL;
  }
  if (IsPersistence(*riid)) {
    return flags.SafeForInitializing && asked == INTERFACESAFE_FOR_UNTRUSTED_DATA ? S_OK : E_FAIL;
  }
  return E_NOINTERFACE;
}

}  // namespace velmaris::server
