// The answers every control gives through IObjectSafety: safe for scripting on its dispatch
// interface, safe for initialising on its persistence interfaces, and nothing for an interface
// the control does not implement. Nothing is stored per control: the answers depend only on the
// interface asked about, whether the object has it, and the thread's two library-wide flags.
#pragma once

#include <functional>

#include "server/com.h"

namespace velmaris::server {

inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

struct SafetyFlags {
  bool SafeForScripting = false;
  bool SafeForInitializing = false;
};

// Whether the object answers QueryInterface for `riid`.
using Implements = std::function<bool(const com::IID& riid)>;

com::HRESULT GetSafetyOptions(const SafetyFlags& flags, const Implements& implements,
                              const com::IID* riid, uint32_t* supported, uint32_t* enabled);
com::HRESULT SetSafetyOptions(const SafetyFlags& flags, const Implements& implements,
                              const com::IID* riid, uint32_t mask, uint32_t enabled);

}  // namespace velmaris::server
