// In-place activation: the form as a child window of the container's, and the interfaces a
// container talks to an active control through.
#include "server/win32/activex_control.h"

namespace velmaris::server::win32 {

HRESULT ActiveXControl::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect,
                                        bool ui_active) {
  if (site == nullptr) site = m_site;
  if (site == nullptr) return E_INVALIDARG;
  if (m_in_place_site == nullptr) {
    IOleInPlaceSite* in_place = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&in_place))))
      return E_NOINTERFACE;
    if (in_place->CanInPlaceActivate() != S_OK) {
      in_place->Release();
      return E_FAIL;
    }
    in_place->OnInPlaceActivate();
    m_in_place_site = in_place;
  }
  if (m_view == nullptr) {
    HWND window = nullptr;
    if (FAILED(m_in_place_site->GetWindow(&window)) || window == nullptr) window = parent;
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    const bool have_context =
        SUCCEEDED(m_in_place_site->GetWindowContext(&frame, &document, &position, &clip, &info));
    if (!have_context && rect != nullptr) position = *rect;
    // The view holds the control until it is deactivated (Close does so): a handler its window
    // started keeps the control while it runs.
    Outer()->AddRef();
    std::shared_ptr<void> owner(Outer(),
                                [](void* held) { static_cast<IDispatch*>(held)->Release(); });
    m_view = MakeFormView(m_subject.form, window, position, std::move(owner));
    if (frame != nullptr) frame->Release();
    if (document != nullptr) document->Release();
    if (m_view == nullptr) {
      m_in_place_site->OnInPlaceDeactivate();
      m_in_place_site->Release();
      m_in_place_site = nullptr;
      return E_FAIL;
    }
  }
  ShowWindow(m_view->Window(), SW_SHOWNA);
  if (ui_active && !m_ui_active) {
    m_ui_active = true;
    m_in_place_site->OnUIActivate();
    // The frame sends keys to the active object first: Tab and Enter move about the form.
    TellFrame(this);
    m_view->FocusFirst();
  }
  return S_OK;
}

void ActiveXControl::TellFrame(IOleInPlaceActiveObject* active) {
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* document = nullptr;
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  if (FAILED(m_in_place_site->GetWindowContext(&frame, &document, &position, &clip, &info))) {
    return;
  }
  if (frame != nullptr) {
    frame->SetActiveObject(active, nullptr);
    frame->Release();
  }
  if (document != nullptr) {
    document->SetActiveObject(active, nullptr);
    document->Release();
  }
}

STDMETHODIMP ActiveXControl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = m_view != nullptr ? m_view->Window() : nullptr;
  return *window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP ActiveXControl::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

STDMETHODIMP ActiveXControl::InPlaceDeactivate() {
  if (m_in_place_site == nullptr) return S_OK;
  UIDeactivate();
  m_view.reset();
  IOleInPlaceSite* site = m_in_place_site;
  m_in_place_site = nullptr;
  site->OnInPlaceDeactivate();
  site->Release();
  return S_OK;
}

STDMETHODIMP ActiveXControl::UIDeactivate() {
  if (!m_ui_active || m_in_place_site == nullptr) return S_OK;
  m_ui_active = false;
  TellFrame(nullptr);
  m_in_place_site->OnUIDeactivate(FALSE);
  return S_OK;
}

STDMETHODIMP ActiveXControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  if (m_view != nullptr) m_view->Place(*position);
  return S_OK;
}

STDMETHODIMP ActiveXControl::ReactivateAndUndo() {
  return INPLACE_E_NOTUNDOABLE;
}

STDMETHODIMP ActiveXControl::TranslateAccelerator(LPMSG msg) {
  if (msg == nullptr) return E_INVALIDARG;
  return m_view != nullptr && m_view->TranslateAccelerator(msg) ? S_OK : S_FALSE;
}

STDMETHODIMP ActiveXControl::OnFrameWindowActivate(BOOL) {
  return S_OK;
}

STDMETHODIMP ActiveXControl::OnDocWindowActivate(BOOL) {
  return S_OK;
}

STDMETHODIMP ActiveXControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}

STDMETHODIMP ActiveXControl::EnableModeless(BOOL) {
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  // The form handles its own keys while it has the focus; it asks the container for none.
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP ActiveXControl::OnMnemonic(MSG* msg) {
  if (msg == nullptr) return E_INVALIDARG;
  return m_view != nullptr && m_view->TranslateAccelerator(msg) ? S_OK : S_FALSE;
}

STDMETHODIMP ActiveXControl::OnAmbientPropertyChange(DISPID) {
  return S_OK;
}

STDMETHODIMP ActiveXControl::FreezeEvents(BOOL freeze) {
  m_frozen_events = freeze != FALSE;
  return S_OK;
}

}  // namespace velmaris::server::win32
