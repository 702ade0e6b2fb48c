// IViewObject2: the control drawn into the container's device context, as it shows in-place or,
// before it is active (a print, a design view), as its form would show.
#include "server/win32/activex_control.h"

namespace velmaris::server::win32 {

STDMETHODIMP ActiveXControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw,
                                  LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                  ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (draw == nullptr || bounds == nullptr) return E_INVALIDARG;
  const RECT box{bounds->left, bounds->top, bounds->right, bounds->bottom};
  if (m_view != nullptr) {
    m_view->Draw(draw, box);
  } else {
    DrawForm(m_subject.form, draw, box);
  }
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                         LOGPALETTE** colors) {
  if (colors == nullptr) return E_POINTER;
  *colors = nullptr;
  return S_FALSE;
}

STDMETHODIMP ActiveXControl::Freeze(DWORD, LONG, void*, DWORD* cookie) {
  if (cookie != nullptr) *cookie = 0;
  return E_NOTIMPL;
}

STDMETHODIMP ActiveXControl::Unfreeze(DWORD) {
  return OLE_E_NOCONNECTION;
}

STDMETHODIMP ActiveXControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  if (sink != nullptr) sink->AddRef();
  if (m_view_sink != nullptr) m_view_sink->Release();
  m_view_sink = sink;
  m_view_aspects = aspects;
  m_view_flags = flags;
  // The container asked to hear at once how the control looks now.
  if (sink != nullptr && (flags & ADVF_PRIMEFIRST) != 0) sink->OnViewChange(DVASPECT_CONTENT, -1);
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = m_view_aspects;
  if (flags != nullptr) *flags = m_view_flags;
  if (sink != nullptr) {
    *sink = m_view_sink;
    if (m_view_sink != nullptr) m_view_sink->AddRef();
  }
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

}  // namespace velmaris::server::win32
