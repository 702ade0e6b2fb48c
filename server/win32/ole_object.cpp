// IOleObject: the container's site, the verbs, the extent and the advise sinks.
#include "server/win32/activex_control.h"
#include "server/win32/misc_status.h"

namespace velmaris::server::win32 {

namespace {

// Twips (1/1440 inch) to HIMETRIC (1/100 mm).
LONG Himetric(int twips) {
  return MulDiv(twips, 2540, 1440);
}

}  // namespace

SIZEL ActiveXControl::FormHimetric() const {
  return {Himetric(m_subject.form.Width()), Himetric(m_subject.form.Height())};
}

STDMETHODIMP ActiveXControl::SetClientSite(IOleClientSite* site) {
  // Without its site the control is no longer in place.
  if (site == nullptr) InPlaceDeactivate();
  if (site != nullptr) site->AddRef();
  if (m_site != nullptr) m_site->Release();
  m_site = site;
  m_lock.SetSite(site);
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = m_site;
  if (m_site != nullptr) m_site->AddRef();
  return S_OK;
}

STDMETHODIMP ActiveXControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
  return S_OK;
}

STDMETHODIMP ActiveXControl::Close(DWORD save_option) {
  if (m_site != nullptr && IsDirty() == S_OK &&
      (save_option == OLECLOSE_SAVEIFDIRTY || save_option == OLECLOSE_PROMPTSAVE)) {
    m_site->SaveObject();
  }
  InPlaceDeactivate();
  if (m_advise_holder != nullptr) m_advise_holder->SendOnClose();
  return S_OK;
}

STDMETHODIMP ActiveXControl::SetMoniker(DWORD, IMoniker*) {
  return E_NOTIMPL;
}

STDMETHODIMP ActiveXControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ActiveXControl::InitFromData(IDataObject*, BOOL, DWORD) {
  return E_NOTIMPL;
}

STDMETHODIMP ActiveXControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data == nullptr) return E_POINTER;
  *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ActiveXControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                    LPCRECT rect) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(site, parent, rect, true);
    case OLEIVERB_INPLACEACTIVATE:
      return ActivateInPlace(site, parent, rect, false);
    case OLEIVERB_HIDE:
      if (m_view != nullptr) ShowWindow(m_view->Window(), SW_HIDE);
      return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
      return OLEOBJ_S_INVALIDVERB;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

STDMETHODIMP ActiveXControl::EnumVerbs(IEnumOLEVERB** verbs) {
  return OleRegEnumVerbs(Clsid(), verbs);
}

STDMETHODIMP ActiveXControl::Update() {
  return S_OK;
}

STDMETHODIMP ActiveXControl::IsUpToDate() {
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetUserClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = Clsid();
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetUserType(DWORD form, LPOLESTR* type) {
  return OleRegGetUserType(Clsid(), form, type);
}

STDMETHODIMP ActiveXControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  // The form keeps its own layout; the container's box is where it is shown.
  m_extent = *size;
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = m_extent.cx > 0 && m_extent.cy > 0 ? m_extent : FormHimetric();
  return S_OK;
}

STDMETHODIMP ActiveXControl::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_INVALIDARG;
  if (m_advise_holder == nullptr) {
    if (HRESULT hr = CreateOleAdviseHolder(&m_advise_holder); FAILED(hr)) return hr;
  }
  return m_advise_holder->Advise(sink, cookie);
}

STDMETHODIMP ActiveXControl::Unadvise(DWORD cookie) {
  if (m_advise_holder == nullptr) return OLE_E_NOCONNECTION;
  return m_advise_holder->Unadvise(cookie);
}

STDMETHODIMP ActiveXControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  if (m_advise_holder == nullptr) return S_OK;
  return m_advise_holder->EnumAdvise(advise);
}

STDMETHODIMP ActiveXControl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
  return S_OK;
}

STDMETHODIMP ActiveXControl::SetColorScheme(LOGPALETTE*) {
  return E_NOTIMPL;
}

}  // namespace velmaris::server::win32
