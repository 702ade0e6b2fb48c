// The control's one connection point, for the source interface its coclass declares. The
// controls raise no events, but a container that connects its sink must be able to.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace velmaris::server::win32 {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `container` is the control: the point lives as long as it and keeps it alive while held.
  ConnectionPoint(IConnectionPointContainer* container, const IID& iid);
  ~ConnectionPoint();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

 private:
  IConnectionPointContainer* m_container;
  IID m_iid;
  std::vector<std::pair<DWORD, IUnknown*>> m_sinks;
  DWORD m_next_cookie = 1;
};

// An enumerator over one connection point.
HRESULT EnumerateOne(IConnectionPoint* point, IEnumConnectionPoints** points);

}  // namespace velmaris::server::win32
