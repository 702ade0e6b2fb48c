// A control object's private interface, held for the length of one host service call: a handler
// may run the loop, where the page could let go of the control.
#pragma once

#include "platform/forms.h"
#include "server/control_object.h"

namespace velmaris::server {

class ControlAccess {
 public:
  explicit ControlAccess(com::IUnknown* unknown) {
    void* access = nullptr;
    if (unknown != nullptr && unknown->QueryInterface(IID_IControlAccess, &access) == com::S_OK) {
      m_access = static_cast<IControlAccess*>(access);
    }
  }
  ~ControlAccess() {
    if (m_access != nullptr) m_access->Release();
  }
  ControlAccess(const ControlAccess&) = delete;
  ControlAccess& operator=(const ControlAccess&) = delete;

  explicit operator bool() const { return m_access != nullptr; }
  Form& GetForm() { return m_access->Instance().GetForm(); }
  void Abandon() { m_access->Instance().Abandon(); }

 private:
  IControlAccess* m_access = nullptr;
};

}  // namespace velmaris::server
