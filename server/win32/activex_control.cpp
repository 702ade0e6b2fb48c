#include "server/win32/activex_control.h"

#include <new>

namespace velmaris::server::win32 {

ActiveXControl::ActiveXControl(ExtensionSubject subject)
    : m_subject(std::move(subject)),
      m_events(std::make_unique<ConnectionPoint>(this,
                                                 *static_cast<const IID*>(m_subject.events_iid))) {}

ActiveXControl::~ActiveXControl() {
  m_view.reset();
  if (m_in_place_site != nullptr) m_in_place_site->Release();
  if (m_site != nullptr) m_site->Release();
  if (m_advise_holder != nullptr) m_advise_holder->Release();
  if (m_view_sink != nullptr) m_view_sink->Release();
}

bool ActiveXControl::Query(const void* iid, void** object) {
  const IID& riid = *static_cast<const IID*>(iid);
  void* found = nullptr;
  if (riid == IID_IOleObject) {
    found = static_cast<IOleObject*>(this);
  } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) {
    found = static_cast<IOleInPlaceObject*>(this);
  } else if (riid == IID_IOleInPlaceActiveObject) {
    found = static_cast<IOleInPlaceActiveObject*>(this);
  } else if (riid == IID_IOleControl) {
    found = static_cast<IOleControl*>(this);
  } else if (riid == IID_IViewObject || riid == IID_IViewObject2) {
    found = static_cast<IViewObject2*>(this);
  } else if (riid == IID_IPersist || riid == IID_IPersistStreamInit) {
    found = static_cast<IPersistStreamInit*>(this);
  } else if (riid == IID_IPersistPropertyBag) {
    found = static_cast<IPersistPropertyBag*>(this);
  } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
    found = static_cast<IProvideClassInfo2*>(this);
  } else if (riid == IID_IConnectionPointContainer) {
    found = static_cast<IConnectionPointContainer*>(this);
  }
  if (found == nullptr) return false;
  *object = found;
  AddRef();
  return true;
}

std::u16string ActiveXControl::RefusedSite() {
  const std::wstring refused = m_lock.Refused();
  return std::u16string(refused.begin(), refused.end());
}

STDMETHODIMP ActiveXControl::QueryInterface(REFIID riid, void** object) {
  return Outer()->QueryInterface(riid, object);
}

STDMETHODIMP_(ULONG) ActiveXControl::AddRef() {
  return Outer()->AddRef();
}

STDMETHODIMP_(ULONG) ActiveXControl::Release() {
  return Outer()->Release();
}

}  // namespace velmaris::server::win32

namespace velmaris::server {

std::unique_ptr<ControlExtension> MakeControlExtension(ExtensionSubject subject) {
  return std::unique_ptr<ControlExtension>(new (std::nothrow)
                                               win32::ActiveXControl(std::move(subject)));
}

}  // namespace velmaris::server
