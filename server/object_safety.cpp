#include "server/object_safety.h"

namespace velmaris::server {

namespace {

using com::E_FAIL;
using com::E_NOINTERFACE;
using com::E_POINTER;
using com::HRESULT;
using com::S_OK;

enum class Group { kNone, kScripting, kInitializing };

Group GroupOf(const Implements& implements, const com::IID& riid) {
  const bool scripting = riid == com::IID_IDispatch || riid == com::IID_IDispatchEx;
  const bool initializing = riid == com::IID_IPersistStorage || riid == com::IID_IPersistStream ||
                            riid == com::IID_IPersistStreamInit ||
                            riid == com::IID_IPersistPropertyBag;
  if (!(scripting || initializing) || !implements(riid)) return Group::kNone;
  return scripting ? Group::kScripting : Group::kInitializing;
}

}  // namespace

HRESULT GetSafetyOptions(const SafetyFlags& flags, const Implements& implements,
                         const com::IID* riid, uint32_t* supported, uint32_t* enabled) {
  if (supported == nullptr) return E_POINTER;
  *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  if (riid == nullptr) return S_OK;
  if (enabled == nullptr) return E_POINTER;
  switch (GroupOf(implements, *riid)) {
    case Group::kScripting:
      *enabled = flags.SafeForScripting ? INTERFACESAFE_FOR_UNTRUSTED_CALLER : 0;
      return S_OK;
    case Group::kInitializing:
      *enabled = flags.SafeForInitializing ? INTERFACESAFE_FOR_UNTRUSTED_DATA : 0;
      return S_OK;
    case Group::kNone:
      break;
  }
  return E_NOINTERFACE;
}

HRESULT SetSafetyOptions(const SafetyFlags& flags, const Implements& implements,
                         const com::IID* riid, uint32_t mask, uint32_t enabled) {
  if (riid == nullptr) return S_OK;
  const uint32_t asked = mask & enabled;
  switch (GroupOf(implements, *riid)) {
    case Group::kScripting:
      return flags.SafeForScripting && asked == INTERFACESAFE_FOR_UNTRUSTED_CALLER ? S_OK : E_FAIL;
    case Group::kInitializing:
      return flags.SafeForInitializing && asked == INTERFACESAFE_FOR_UNTRUSTED_DATA ? S_OK : E_FAIL;
    case Group::kNone:
      break;
  }
  return E_NOINTERFACE;
}

}  // namespace velmaris::server
