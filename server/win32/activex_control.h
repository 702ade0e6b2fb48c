// A control as a container embeds it: the interfaces an ActiveX container asks for beside the
// scripting ones, answered for the control object that owns this part. Every interface here
// shares the object's identity: QueryInterface, AddRef and Release go to the object.
#pragma once

// windows.h first: the OLE headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "server/control_extension.h"
#include "server/win32/connection_point.h"
#include "server/win32/form_view.h"
#include "server/win32/site_lock.h"

namespace velmaris::server::win32 {

class ActiveXControl final : public ControlExtension,
                             public IOleObject,
                             public IOleInPlaceObject,
                             public IOleInPlaceActiveObject,
                             public IOleControl,
                             public IViewObject2,
                             public IPersistStreamInit,
                             public IPersistPropertyBag,
                             public IProvideClassInfo2,
                             public IConnectionPointContainer {
 public:
  explicit ActiveXControl(ExtensionSubject subject);
  ~ActiveXControl() override;

  // ControlExtension
  bool Query(const void* iid, void** object) override;
  std::u16string RefusedSite() override;

  // IUnknown, for every interface: the object's own.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleObject (ole_object.cpp)
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  STDMETHODIMP Close(DWORD save_option) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                      LPCRECT rect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl (in_place.cpp)
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IViewObject2 (view_object.cpp)
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device, HDC target,
                    HDC draw, LPCRECTL bounds, LPCRECTL window_bounds,
                    BOOL(STDMETHODCALLTYPE* Continue)(ULONG_PTR), ULONG_PTR argument) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device,
                           HDC target, LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspect_info, DWORD* cookie) override;
  STDMETHODIMP Unfreeze(DWORD cookie) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // IPersist, IPersistStreamInit, IPersistPropertyBag (persistence.cpp)
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clear_dirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) override;

  // IProvideClassInfo2, IConnectionPointContainer (class_info.cpp)
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

 private:
  IDispatch* Outer() const { return static_cast<IDispatch*>(m_subject.outer); }
  const CLSID& Clsid() const { return *static_cast<const CLSID*>(m_subject.clsid); }
  // The form's size in pixels and in HIMETRIC.
  SIZEL FormHimetric() const;
  // In-place activation through the site; `show` also makes the control the UI-active one.
  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect, bool ui_active);
  // Tells the container's frame and document which object takes their keys first (null: none).
  void TellFrame(IOleInPlaceActiveObject* active);
  // The control's persisted values by name, as text; SetProperty answers the member's failure.
  bool GetProperty(const PersistedProperty& property, std::u16string& value);
  // The persisted properties' values now, in the subject's order.
  std::vector<std::u16string> Values();
  HRESULT SetProperty(const PersistedProperty& property, const VARIANT& value);

  ExtensionSubject m_subject;
  IOleClientSite* m_site = nullptr;
  IOleInPlaceSite* m_in_place_site = nullptr;
  IOleAdviseHolder* m_advise_holder = nullptr;
  IAdviseSink* m_view_sink = nullptr;
  DWORD m_view_aspects = 0;
  DWORD m_view_flags = 0;
  std::unique_ptr<FormView> m_view;
  bool m_ui_active = false;
  std::vector<std::u16string> m_clean;  // the values as last loaded or saved
  bool m_frozen_events = false;
  SIZEL m_extent{};  // HIMETRIC, as the container last set it; zero for the form's own
  std::unique_ptr<ConnectionPoint> m_events;
  SiteLock m_lock;
};

}  // namespace velmaris::server::win32
