#include "server/win32/connection_point.h"

#include <new>

namespace velmaris::server::win32 {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, const IID& iid)
    : m_container(container), m_iid(iid) {}

ConnectionPoint::~ConnectionPoint() {
  for (auto& [cookie, sink] : m_sinks) sink->Release();
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
  *object = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() {
  return m_container->AddRef();
}

STDMETHODIMP_(ULONG) ConnectionPoint::Release() {
  return m_container->Release();
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = m_iid;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = m_container;
  m_container->AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // The sink must take the events interface (or plain IDispatch, as script engines give).
  IUnknown* held = nullptr;
  if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&held))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&held)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  *cookie = m_next_cookie++;
  m_sinks.emplace_back(*cookie, held);
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
    if (it->first == cookie) {
      it->second->Release();
      m_sinks.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  return E_NOTIMPL;
}

namespace {

class OnePoint final : public IEnumConnectionPoints {
 public:
  explicit OnePoint(IConnectionPoint* point, ULONG at = 0) : m_point(point), m_at(at) {
    m_point->AddRef();
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IEnumConnectionPoints) return E_NOINTERFACE;
    *object = static_cast<IEnumConnectionPoints*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (points == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG given = 0;
    if (count > 0 && m_at == 0) {
      points[0] = m_point;
      m_point->AddRef();
      m_at = given = 1;
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    if (count == 0) return S_OK;
    const bool had = m_at == 0;
    m_at = 1;
    return had && count == 1 ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_at = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumConnectionPoints** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = new (std::nothrow) OnePoint(m_point, m_at);
    return *copy != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~OnePoint() { m_point->Release(); }

  ULONG m_refs = 1;
  IConnectionPoint* m_point;
  ULONG m_at;
};

}  // namespace

HRESULT EnumerateOne(IConnectionPoint* point, IEnumConnectionPoints** points) {
  if (points == nullptr) return E_POINTER;
  *points = new (std::nothrow) OnePoint(point);
  return *points != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace velmaris::server::win32
