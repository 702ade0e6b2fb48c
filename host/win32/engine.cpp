#include "host/win32/engine.h"

#include <activscp.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/text.h"
#include "host/win32/com_object.h"

namespace velmaris::host::win32 {

namespace {

// JScript's class; Windows' later engine (jscript9, "Chakra") where it is registered, which
// keeps the classic interfaces and brings ES5 by itself.
constexpr CLSID kJScript = {
    0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
constexpr CLSID kJScript9 = {
    0x16d51579, 0xa30b, 0x4c8b, {0xa2, 0x76, 0x0f, 0xf4, 0xdc, 0x41, 0xe7, 0x55}};
// The classic engine's ES5 behaviour (JSON, accessors, Array's iteration functions) is asked for
// as the language version pages of the newer documents modes get.
constexpr int kLanguageEs5 = 0x102 | 0x400;

class Site final : public ComObject<IActiveScriptSite> {
 public:
  Site(const wchar_t* name, IDispatch* item) : m_name(name), m_item(item) { m_item->AddRef(); }
  ~Site() override { m_item->Release(); }

  // Source context cookies are indexes into the files run so far.
  DWORD_PTR AddFile(const std::wstring& file) {
    m_files.push_back(file);
    return m_files.size() - 1;
  }
  int reported = 0;

  HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unknown,
                                        ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    if (unknown != nullptr) *unknown = nullptr;
    if (m_name != name) return TYPE_E_ELEMENTNOTFOUND;
    if ((mask & SCRIPTINFO_IUNKNOWN) != 0 && unknown != nullptr) {
      *unknown = m_item;
      m_item->AddRef();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

  // "错误 <number>: <description>" and where, as the Linux host prints an uncaught error.
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override {
    ++reported;
    EXCEPINFO excep{};
    error->GetExceptionInfo(&excep);
    if (excep.pfnDeferredFillIn != nullptr) excep.pfnDeferredFillIn(&excep);
    int32_t number =
        excep.scode != 0 ? excep.scode : static_cast<int32_t>(0x800A0000u | excep.wCode);
    std::wstring description = excep.bstrDescription ? excep.bstrDescription : L"";
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    WriteLine(true, L"错误 " + std::to_wstring(number) + L": " + description);
    DWORD cookie = 0;
    ULONG line = 0;
    LONG column = 0;
    if (error->GetSourcePosition(&cookie, &line, &column) == S_OK && cookie < m_files.size()) {
      WriteLine(true, L"    at " + m_files[cookie] + L":" + std::to_wstring(line + 1));
    }
    return S_OK;
  }

 private:
  std::wstring m_name;
  IDispatch* m_item;
  std::vector<std::wstring> m_files;
};

template <typename T>
void ReleaseNow(T*& pointer) {
  if (pointer != nullptr) pointer->Release();
  pointer = nullptr;
}

}  // namespace

struct Engine::Parts {
  Site* site = nullptr;
  IActiveScript* script = nullptr;
  IActiveScriptParse* parse = nullptr;
  ~Parts() {
    if (script != nullptr) script->Close();
    ReleaseNow(parse);
    ReleaseNow(script);
    ReleaseNow(site);
  }
};

Engine::Engine(std::unique_ptr<Parts> parts) : m_parts(std::move(parts)) {}
Engine::~Engine() = default;

std::unique_ptr<Engine> Engine::Create(const wchar_t* name, IDispatch* item, std::wstring& error) {
  auto parts = std::make_unique<Parts>();
  HRESULT hr = CoCreateInstance(kJScript9, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                                reinterpret_cast<void**>(&parts->script));
  if (FAILED(hr)) {
    hr = CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                          reinterpret_cast<void**>(&parts->script));
    if (FAILED(hr)) {
      error = L"无法创建脚本引擎 JScript（错误代码 " + std::to_wstring(hr) + L"）";
      return nullptr;
    }
    IActiveScriptProperty* property = nullptr;
    if (SUCCEEDED(parts->script->QueryInterface(__uuidof(IActiveScriptProperty),
                                                reinterpret_cast<void**>(&property)))) {
      VARIANT version;
      VariantInit(&version);
      V_VT(&version) = VT_I4;
      V_I4(&version) = kLanguageEs5;
      hr = property->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &version);
      property->Release();
    }
    if (FAILED(hr)) {
      error = L"脚本引擎 JScript 不支持 ES5";
      return nullptr;
    }
  }
  hr = parts->script->QueryInterface(__uuidof(IActiveScriptParse),
                                     reinterpret_cast<void**>(&parts->parse));
  if (SUCCEEDED(hr)) hr = parts->parse->InitNew();
  parts->site = new Site(name, item);
  if (SUCCEEDED(hr)) hr = parts->script->SetScriptSite(parts->site);
  if (SUCCEEDED(hr)) hr = parts->script->AddNamedItem(name, SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr)) hr = parts->script->SetScriptState(SCRIPTSTATE_STARTED);
  if (FAILED(hr)) {
    error = L"无法启动脚本引擎（错误代码 " + std::to_wstring(hr) + L"）";
    return nullptr;
  }
  return std::unique_ptr<Engine>(new Engine(std::move(parts)));
}

bool Engine::Run(const std::wstring& source, const std::wstring& file) {
  int before = m_parts->site->reported;
  EXCEPINFO excep{};
  HRESULT hr = m_parts->parse->ParseScriptText(source.c_str(), nullptr, nullptr, nullptr,
                                               m_parts->site->AddFile(file), 0,
                                               SCRIPTTEXT_ISVISIBLE, nullptr, &excep);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  if (FAILED(hr) && m_parts->site->reported == before) {
    WriteLine(true, L"velmaris: 脚本未能运行（错误代码 " + std::to_wstring(hr) + L"）：" + file);
  }
  return SUCCEEDED(hr) && m_parts->site->reported == before;
}

int Engine::Reported() const {
  return m_parts->site->reported;
}

void Engine::Close() {
  m_parts.reset();
}

void WriteLine(bool error_stream, const std::wstring& text) {
  HANDLE out = GetStdHandle(error_stream ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  std::wstring line = text + L"\n";
  DWORD written = 0, mode = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  std::string bytes = EncodeUtf8(std::u16string(line.begin(), line.end()));
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace velmaris::host::win32
