// The controls in an ActiveX container: Wine's ATL host (atl.dll) embeds each by ProgID in an
// AtlAxWin window and activates it in place; its form must then be a child window with the
// form's buttons. FileUpload is scripted through IDispatch against the reference server, a form
// button is clicked by window message, <param> values arrive through a property bag, and the
// site lock lets an allowed page's control work and stops a refused page's before it sends.
// Usage: activex_container.exe DLL SERVER SERVER_ROOT WORK SCREENS PICTURE
// (Windows paths; the DLL registered). Prints "PASS" last when every check held.
#include <windows.h>

#include <exdisp.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <servprov.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

// IDispatchEx, which the system's import libraries do not define.
constexpr IID kDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++g_failures;
}

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  return out;
}

void Pump(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
}

// A member call through IDispatch, arguments in order; the result (if any) in `result`.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
             VARIANT* result = nullptr, EXCEPINFO* excep = nullptr) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr))
    return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO ignored{};
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                    excep != nullptr ? excep : &ignored, nullptr);
  for (auto& arg : args) VariantClear(&arg);
  if (excep == nullptr) {
    SysFreeString(ignored.bstrSource);
    SysFreeString(ignored.bstrDescription);
  }
  return hr;
}

VARIANT Text(const std::wstring& text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text.c_str());
  return v;
}

VARIANT Number(LONG number) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = number;
  return v;
}

std::wstring GetText(IDispatch* object, const wchar_t* name) {
  VARIANT result;
  VariantInit(&result);
  std::wstring text = L"<failed>";
  if (SUCCEEDED(Call(object, name, DISPATCH_PROPERTYGET, {}, &result)) && result.vt == VT_BSTR)
    text = result.bstrVal;
  VariantClear(&result);
  return text;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the window's pixels as they are on screen to a 24-bit BMP.
bool Screenshot(HWND window, const std::wstring& path) {
  RECT box;
  GetWindowRect(window, &box);
  const int width = box.right - box.left, height = box.bottom - box.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
  SelectObject(memory, old);
  const DWORD size = ((width * 3 + 3) & ~3) * height;
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info.bmiHeader + size), 0,
                        0, sizeof file + sizeof info.bmiHeader};
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), size);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return static_cast<bool>(out);
}

struct Found {
  std::vector<std::wstring> captions;  // the buttons'
  std::vector<std::wstring> classes;
  HWND add = nullptr;   // the button captioned "添加"
  HWND list = nullptr;  // the first list box
};

BOOL CALLBACK Collect(HWND window, LPARAM context) {
  auto& found = *reinterpret_cast<Found*>(context);
  wchar_t type[64] = {}, text[256] = {};
  GetClassNameW(window, type, 64);
  GetWindowTextW(window, text, 256);
  found.classes.push_back(type);
  if (_wcsicmp(type, L"Button") == 0 && text[0] != 0) found.captions.push_back(text);
  if (_wcsicmp(type, L"Button") == 0 && std::wcscmp(text, L"添加") == 0) found.add = window;
  if (_wcsicmp(type, L"ListBox") == 0 && found.list == nullptr) found.list = window;
  return TRUE;
}

template <class T>
bool Has(const std::vector<T>& list, const T& item) {
  for (const auto& entry : list) {
    if (_wcsicmp(entry.c_str(), item.c_str()) == 0) return true;
  }
  return false;
}

// --- A page's site, for the site lock ------------------------------------------------------------

// The browser a page's site leads to: only get_LocationURL answers. The other slots of
// IWebBrowser2 answer E_NOTIMPL (on x64 the caller cleans up, so one stub fits every slot).
struct FakeBrowser {
  void** vtable;
  std::wstring url;
};
HRESULT STDMETHODCALLTYPE NotImplemented() {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserQuery(FakeBrowser* self, REFIID riid, void** object) {
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IWebBrowser2 && riid != IID_IWebBrowserApp &&
      riid != IID_IWebBrowser)
    return E_NOINTERFACE;
  *object = self;
  return S_OK;
}
ULONG STDMETHODCALLTYPE Static(FakeBrowser*) {
  return 1;
}
HRESULT STDMETHODCALLTYPE LocationUrl(FakeBrowser* self, BSTR* url) {
  *url = SysAllocString(self->url.c_str());
  return S_OK;
}
// IUnknown (3), IDispatch (4), then IWebBrowser's GoBack ... get_LocationName: slot 30.
constexpr int kLocationUrlSlot = 30;

class PageSite final : public IOleClientSite, public IServiceProvider {
 public:
  explicit PageSite(const std::wstring& url) {
    for (auto& slot : m_slots) slot = reinterpret_cast<void*>(&NotImplemented);
    m_slots[0] = reinterpret_cast<void*>(&BrowserQuery);
    m_slots[1] = m_slots[2] = reinterpret_cast<void*>(&Static);
    m_slots[kLocationUrlSlot] = reinterpret_cast<void*>(&LocationUrl);
    m_browser = {m_slots, url};
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IServiceProvider) {
      *object = static_cast<IServiceProvider*>(this);
    } else {
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** object) override {
    *object = nullptr;
    if (service != IID_IWebBrowserApp) return E_NOINTERFACE;
    return BrowserQuery(&m_browser, riid, object);
  }

 private:
  void* m_slots[64];
  FakeBrowser m_browser;
};

// <param> values as a page gives them; remembers which names the control asked for.
class ParamBag final : public IPropertyBag {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPropertyBag) return E_NOINTERFACE;
    *object = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    asked.push_back(name);
    for (const auto& [key, text] : params) {
      if (_wcsicmp(key.c_str(), name) == 0) {
        *value = Text(text);
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
    written.emplace_back(name, value->vt == VT_BSTR ? value->bstrVal : L"?");
    return S_OK;
  }

  std::vector<std::pair<std::wstring, std::wstring>> params, written;
  std::vector<std::wstring> asked;
};

template <class F>
F Proc(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

IDispatch* MakeFileUpload() {
  CLSID clsid;
  IDispatch* object = nullptr;
  if (FAILED(CLSIDFromProgID(L"VelmarisClient.FileUpload", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object)))) {
    return nullptr;
  }
  return object;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 7) {
    std::printf("usage: activex_container DLL SERVER SERVER_ROOT WORK SCREENS PICTURE\n");
    return 2;
  }
  const std::wstring server = argv[2], root = argv[3], work = argv[4], screens = argv[5],
                     picture = argv[6];
  OleInitialize(nullptr);

  // The host answers the dialogs, before the first control is made on this thread.
  HMODULE library = LoadLibraryW(argv[1]);
  using Simple = HRESULT(WINAPI*)();
  using AnswerFile = HRESULT(WINAPI*)(const wchar_t*, UINT);
  auto use_answers = Proc<Simple>(library, "VelmarisUseAnsweredDialogs");
  auto answer_file = Proc<AnswerFile>(library, "VelmarisAnswerFileDialog");
  Check(use_answers != nullptr && answer_file != nullptr && use_answers() == S_OK,
        "the host answers the dialogs");

  HMODULE atl = LoadLibraryW(L"atl.dll");
  using AxInit = BOOL(WINAPI*)();
  using AxGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);
  auto ax_init = Proc<AxInit>(atl, "AtlAxWinInit");
  auto ax_get = Proc<AxGetControl>(atl, "AtlAxGetControl");
  if (ax_init == nullptr || ax_get == nullptr || !ax_init()) {
    std::printf("FAIL atl.dll has no AtlAxWinInit\n");
    return 1;
  }

  HWND top = CreateWindowExW(0, L"STATIC", L"container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                             720, 560, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  // Each control, and a window its form must show: a button by its caption, or (FileUpload,
  // which has none) its progress bar by class.
  const struct {
    const wchar_t* name;
    const wchar_t* button;
    const wchar_t* window_class;
  } controls[] = {
      {L"FileUpload", nullptr, L"msctls_progress32"}, {L"MultiUpload", L"开始上传", nullptr},
      {L"OfficeImport", L"开始导入", nullptr},        {L"ImageUpload", L"添加", nullptr},
      {L"ImageImport", L"开始导入", nullptr},
  };
  for (const auto& [name, button, window_class] : controls) {
    const std::string what = Narrow(name);
    const std::wstring progid = std::wstring(L"VelmarisClient.") + name;
    RECT client;
    GetClientRect(top, &client);
    HWND ax = CreateWindowExW(0, L"AtlAxWin", progid.c_str(), WS_CHILD | WS_VISIBLE, 0, 0,
                              client.right, client.bottom, top, nullptr, nullptr, nullptr);
    IUnknown* control = nullptr;
    if (ax == nullptr || FAILED(ax_get(ax, &control)) || control == nullptr) {
      Check(false, what + ": embedded by ATL");
      if (ax != nullptr) DestroyWindow(ax);
      continue;
    }
    IOleInPlaceObject* in_place = nullptr;
    HWND form = nullptr;
    if (SUCCEEDED(
            control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&in_place)))) {
      in_place->GetWindow(&form);
      in_place->Release();
    }
    Check(form != nullptr && IsChild(ax, form) && IsWindowVisible(form),
          what + ": in-place active, its form a child window of the container's");
    Found found;
    EnumChildWindows(ax, Collect, reinterpret_cast<LPARAM>(&found));
    std::wstring captions;
    for (const auto& caption : found.captions) captions += caption + L" ";
    Check(button != nullptr ? Has(found.captions, std::wstring(button))
                            : Has(found.classes, std::wstring(window_class)),
          what + ": the form's windows (buttons: " + Narrow(captions) + ")");
    IDispatch* script = nullptr;
    control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&script));
    if (std::wcscmp(name, L"FileUpload") == 0 && script != nullptr) {
      // Scripted as a page would, in the container: the file reaches the server.
      const std::wstring path = work + L"\\ax.txt";
      std::ofstream(std::filesystem::path(path)) << "hello from the container";
      const HRESULT hr = Call(script, L"StartUpload", DISPATCH_METHOD,
                              {Text(L"ax"), Text(server + L"/upload.asp"), Text(path), Number(7)});
      Check(hr == S_OK && GetText(script, L"NewFileName") == L"/files/ax/ax.txt" &&
                ReadFile(root + L"\\files\\ax\\ax.txt") == "hello from the container",
            what + ": scripted upload through IDispatch");
    }
    if (std::wcscmp(name, L"ImageUpload") == 0) {
      // A click on the form's button, by window message: the dialog's answer fills the list.
      answer_file(picture.c_str(), static_cast<UINT>(picture.size()));
      if (found.add != nullptr) SendMessageW(found.add, BM_CLICK, 0, 0);
      Pump(200);
      Check(found.add != nullptr && found.list != nullptr &&
                SendMessageW(found.list, LB_GETCOUNT, 0, 0) == 1,
            what + ": the add button's dialog fills the list");
    }
    // After what the control did above: the list filled, the progress bar full.
    Pump(300);
    Check(Screenshot(top, screens + L"\\activex-" + name + L".bmp"), what + ": screenshot");

    if (script != nullptr) script->Release();
    control->Release();
    DestroyWindow(ax);
    Pump(50);
  }
  DestroyWindow(top);

  // <param> values through a property bag; unknown names are not asked for; a saved stream
  // brings the value into a new control.
  if (IDispatch* upload = MakeFileUpload()) {
    ParamBag bag;
    bag.params = {{L"NewFileName", L"/files/from-param.txt"}, {L"Colour", L"red"}};
    IPersistPropertyBag* persist = nullptr;
    upload->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));
    Check(persist != nullptr && persist->Load(&bag, nullptr) == S_OK &&
              GetText(upload, L"NewFileName") == L"/files/from-param.txt" &&
              bag.asked == std::vector<std::wstring>{L"NewFileName"},
          "FileUpload: <param> NewFileName through IPersistPropertyBag::Load");
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    IPersistStreamInit* saved = nullptr;
    upload->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&saved));
    IDispatch* copy = MakeFileUpload();
    IPersistStreamInit* loaded = nullptr;
    if (copy != nullptr)
      copy->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&loaded));
    bool round_trip = saved != nullptr && loaded != nullptr && saved->Save(stream, TRUE) == S_OK;
    LARGE_INTEGER start{};
    round_trip = round_trip && SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
                 loaded->Load(stream) == S_OK &&
                 GetText(copy, L"NewFileName") == L"/files/from-param.txt";
    Check(round_trip, "FileUpload: IPersistStreamInit Save and Load");
    for (IUnknown* held : std::initializer_list<IUnknown*>{persist, stream, saved, loaded, copy}) {
      if (held != nullptr) held->Release();
    }
    upload->Release();
  } else {
    Check(false, "FileUpload made by CoCreateInstance");
  }

  // What a container asks of a control before it is active: its interfaces (and none it lacks),
  // its extent, the safety of its persistence, its coclass and source interface, a drawing of
  // its form, and whether a script changed what it keeps.
  if (IDispatch* upload = MakeFileUpload()) {
    const struct {
      const char* what;
      IID iid;
      bool has;
    } interfaces[] = {
        {"IOleObject", IID_IOleObject, true},
        {"IOleInPlaceObject", IID_IOleInPlaceObject, true},
        {"IOleInPlaceActiveObject", IID_IOleInPlaceActiveObject, true},
        {"IOleControl", IID_IOleControl, true},
        {"IViewObject2", IID_IViewObject2, true},
        {"IPersistStreamInit", IID_IPersistStreamInit, true},
        {"IPersistPropertyBag", IID_IPersistPropertyBag, true},
        {"IProvideClassInfo2", IID_IProvideClassInfo2, true},
        {"IConnectionPointContainer", IID_IConnectionPointContainer, true},
        {"IPersistStorage", IID_IPersistStorage, false},
        {"IOleInPlaceObjectWindowless", IID_IOleInPlaceObjectWindowless, false},
        {"IDispatchEx", kDispatchEx, false},
    };
    std::string wrong;
    for (const auto& c : interfaces) {
      IUnknown* got = reinterpret_cast<IUnknown*>(1);
      const HRESULT hr = upload->QueryInterface(c.iid, reinterpret_cast<void**>(&got));
      if ((hr == S_OK) != c.has || (hr != S_OK && got != nullptr))
        wrong += std::string(" ") + c.what;
      if (hr == S_OK) got->Release();
    }
    Check(wrong.empty(), "FileUpload: the interfaces a container asks for" + wrong);

    IOleObject* ole = nullptr;
    upload->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    SIZEL extent{};
    const bool sized = ole != nullptr && ole->GetExtent(DVASPECT_CONTENT, &extent) == S_OK;
    // The form's 5475 x 420 twips in HIMETRIC, rounded.
    Check(sized && extent.cx == 9657 && extent.cy == 741, "FileUpload: its extent in HIMETRIC (" +
                                                              std::to_string(extent.cx) + " x " +
                                                              std::to_string(extent.cy) + ")");
    if (ole != nullptr) ole->Release();

    IObjectSafety* safety = nullptr;
    upload->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety));
    DWORD supported = 0, enabled = 0, storage_enabled = 0;
    Check(safety != nullptr &&
              safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled) ==
                  S_OK &&
              enabled == INTERFACESAFE_FOR_UNTRUSTED_DATA &&
              safety->GetInterfaceSafetyOptions(IID_IPersistStorage, &supported,
                                                &storage_enabled) == E_NOINTERFACE,
          "FileUpload: safe for initialising on the property bag, silent on IPersistStorage");
    if (safety != nullptr) safety->Release();

    IProvideClassInfo2* class_info = nullptr;
    IConnectionPointContainer* points = nullptr;
    upload->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&class_info));
    upload->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    GUID source{};
    ITypeInfo* coclass = nullptr;
    TYPEATTR* attributes = nullptr;
    IConnectionPoint* point = nullptr;
    CLSID clsid{};
    CLSIDFromProgID(L"VelmarisClient.FileUpload", &clsid);
    const bool described = class_info != nullptr && points != nullptr &&
                           class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) == S_OK &&
                           points->FindConnectionPoint(source, &point) == S_OK &&
                           class_info->GetClassInfo(&coclass) == S_OK &&
                           coclass->GetTypeAttr(&attributes) == S_OK &&
                           attributes->typekind == TKIND_COCLASS && attributes->guid == clsid;
    Check(described, "FileUpload: its coclass and its source interface's connection point");
    if (attributes != nullptr) coclass->ReleaseTypeAttr(attributes);
    for (IUnknown* held : std::initializer_list<IUnknown*>{coclass, point, points, class_info}) {
      if (held != nullptr) held->Release();
    }

    // Drawn while not active: the form's own pixels over what the container had there.
    IViewObject2* view = nullptr;
    upload->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&view));
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 360;
    info.bmiHeader.biHeight = 30;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    DWORD* pixels = nullptr;
    HBITMAP bitmap =
        CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels), nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int i = 0; i < 360 * 30; ++i) pixels[i] = 0xFF00FF;
    const RECTL bounds{0, 0, 360, 30};
    const bool drew = view != nullptr && view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr,
                                                    dc, &bounds, nullptr, nullptr, 0) == S_OK;
    GdiFlush();
    int changed = 0;
    for (int i = 0; i < 360 * 30; ++i) changed += (pixels[i] & 0xFFFFFF) != 0xFF00FF;
    Check(drew && changed > 360 * 30 / 2, "FileUpload: IViewObject2::Draw of the inactive form (" +
                                              std::to_string(changed) + " pixels drawn)");
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    if (view != nullptr) view->Release();

    IPersistStreamInit* persist = nullptr;
    upload->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
    bool dirty_follows =
        persist != nullptr && persist->InitNew() == S_OK && persist->IsDirty() == S_FALSE;
    dirty_follows =
        dirty_follows &&
        Call(upload, L"NewFileName", DISPATCH_PROPERTYPUT, {Text(L"/files/b.txt")}) == S_OK &&
        persist->IsDirty() == S_OK;
    Check(dirty_follows, "FileUpload: IsDirty after a script set NewFileName");
    if (persist != nullptr) persist->Release();
    upload->Release();
  }

  // The site lock: a page of an allowed origin (written as an editor might) uploads; a page of
  // another origin in the Internet zone fails before anything is sent.
  HKEY key = nullptr;
  const std::wstring origin = L"https://CMS.Example:443";
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VelmarisClient\\Bridge\\AllowedOrigins", 0,
                  nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  const DWORD on = 1;
  RegSetValueExW(key, origin.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
  RegCloseKey(key);
  struct LockCase {
    const char* what;
    std::wstring page;
    const wchar_t* folder;
    bool allowed;
  } lock_cases[] = {
      {"an allowed page", L"https://cms.example/pages/edit.html?id=1", L"lockok", true},
      {"a refused page", L"https://Evil.Example:443/cms/edit.html", L"lockno", false},
  };
  for (const auto& c : lock_cases) {
    IDispatch* upload = MakeFileUpload();
    IOleObject* ole = nullptr;
    if (upload == nullptr ||
        FAILED(upload->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
      Check(false, std::string("site lock: ") + c.what + ": a control with IOleObject");
      continue;
    }
    PageSite site(c.page);
    ole->SetClientSite(&site);
    const std::wstring path = work + L"\\lock.txt";
    std::ofstream(std::filesystem::path(path)) << "locked?";
    EXCEPINFO excep{};
    const HRESULT hr = Call(upload, L"StartUpload", DISPATCH_METHOD,
                            {Text(c.folder), Text(server + L"/upload.asp"), Text(path), Number(7)},
                            nullptr, &excep);
    const bool arrived =
        GetFileAttributesW((root + L"\\files\\" + c.folder + L"\\lock.txt").c_str()) !=
        INVALID_FILE_ATTRIBUTES;
    if (c.allowed) {
      Check(hr == S_OK && arrived, std::string("site lock: ") + c.what + " uploads");
    } else {
      const std::wstring description = excep.bstrDescription ? excep.bstrDescription : L"";
      Check(hr == DISP_E_EXCEPTION && excep.scode == static_cast<HRESULT>(0x800A0046) &&
                description == L"拒绝的权限：https://evil.example" && !arrived,
            std::string("site lock: ") + c.what + " fails with error 70 (" + Narrow(description) +
                ") and sends nothing");
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    ole->SetClientSite(nullptr);
    ole->Release();
    upload->Release();
  }
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VelmarisClient\\Bridge\\AllowedOrigins");

  OleUninitialize();
  std::printf(g_failures == 0 ? "PASS\n" : "%d failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
