// IProvideClassInfo2 and IConnectionPointContainer: the coclass as the type library describes
// it, and its source interface.
#include "server/win32/activex_control.h"

namespace velmaris::server::win32 {

STDMETHODIMP ActiveXControl::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadRegTypeLib(*static_cast<const GUID*>(m_subject.library_id), 1, 0, LOCALE_NEUTRAL,
                              &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(Clsid(), info);
  library->Release();
  return hr;
}

STDMETHODIMP ActiveXControl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  *guid = GUID_NULL;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = *static_cast<const IID*>(m_subject.events_iid);
  return S_OK;
}

STDMETHODIMP ActiveXControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return EnumerateOne(m_events.get(), points);
}

STDMETHODIMP ActiveXControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (riid != *static_cast<const IID*>(m_subject.events_iid)) return CONNECT_E_NOCONNECTION;
  *point = m_events.get();
  m_events->AddRef();
  return S_OK;
}

}  // namespace velmaris::server::win32
