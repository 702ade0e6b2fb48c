// The answers every control gives through IObjectSafety: safe for scripting on its dispatch
// interfaces, safe for initialising on its persistence interfaces. Nothing is stored per control:
// the answers depend only on the interface asked about and the thread's two library-wide flags.
#pragma once

#include "server/com.h"

namespace velmaris::server {

inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

struct SafetyFlags {
  bool SafeForScripting = false;
  bool SafeForInitializing = false;
};

com::HRESULT GetSafetyOptions(const SafetyFlags& flags, const com::IID* riid, uint32_t* supported,
                              uint32_t* enabled);
com::HRESULT SetSafetyOptions(const SafetyFlags& flags, const com::IID* riid, uint32_t mask,
                              uint32_t enabled);

}  // namespace velmaris::server
