#include "host/win32/host_dispatch.h"

#include <filesystem>
#include <optional>
#include <string_view>

#include "host/page_files.h"
#include "host/text.h"
#include "host/win32/com_object.h"
#include "host/win32/engine.h"
#include "host/win32/errors_bridge.h"

namespace velmaris::host::win32 {

namespace {

namespace fs = std::filesystem;

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string Utf8(const std::wstring& text) {
  return EncodeUtf8(std::u16string(text.begin(), text.end()));
}

// A failed member call: its number, and whether the control already filled the EXCEPINFO.
struct Failure {
  HRESULT hr;
  bool filled = false;
};

// One queued host.later callback.
struct LaterCall {
  Page* page;
  IDispatch* function;
  std::shared_ptr<bool> alive;
};

void RunLater(void* context) {
  std::unique_ptr<LaterCall> call(static_cast<LaterCall*>(context));
  if (*call->alive) {
    DISPPARAMS none{};
    EXCEPINFO excep{};
    VARIANT result;
    VariantInit(&result);
    int before = call->page->engine->Reported();
    HRESULT hr = call->function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                        DISPATCH_METHOD, &none, &result, &excep, nullptr);
    VariantClear(&result);
    if (FAILED(hr)) {
      // Nobody is there to catch it: reported like an uncaught error of the page.
      if (call->page->engine->Reported() == before) {
        int32_t number = excep.scode != 0 ? excep.scode : hr;
        WriteLine(true,
                  L"错误 " + std::to_wstring(number) + L": " +
                      (excep.bstrDescription ? excep.bstrDescription : DescribeError(number)));
      }
      call->page->later_failed = true;
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  call->function->Release();
}

enum class Member {
  kPrint,
  kArgCount,
  kArg,
  kEnv,
  kInclude,
  kReadFile,
  kWriteFile,
  kRemoveFile,
  kPump,
  kLater,
  kAnswerMessageBox,
  kAnswerFileDialog,
  kAnswerFolder,
  kMessages,
  kFormCheck,
  kFormChildren,
  kFormGet,
  kFormAct,
  kScreenshot,
  kCloseForm,
  kFail,
};

constexpr struct {
  const wchar_t* name;
  Member member;
} kMembers[] = {
    {L"print", Member::kPrint},
    {L"argCount", Member::kArgCount},
    {L"arg", Member::kArg},
    {L"env", Member::kEnv},
    {L"include", Member::kInclude},
    {L"readFile", Member::kReadFile},
    {L"writeFile", Member::kWriteFile},
    {L"removeFile", Member::kRemoveFile},
    {L"pump", Member::kPump},
    {L"later", Member::kLater},
    {L"answerMessageBox", Member::kAnswerMessageBox},
    {L"answerFileDialog", Member::kAnswerFileDialog},
    {L"answerFolder", Member::kAnswerFolder},
    {L"messages", Member::kMessages},
    {L"formCheck", Member::kFormCheck},
    {L"formChildren", Member::kFormChildren},
    {L"formGet", Member::kFormGet},
    {L"formAct", Member::kFormAct},
    {L"screenshot", Member::kScreenshot},
    {L"closeForm", Member::kCloseForm},
    {L"fail", Member::kFail},
};

// The arguments of one call, in the script's order.
class Arguments {
 public:
  explicit Arguments(const DISPPARAMS* params) : m_params(params) {}

  const VARIANT* At(UINT i) const {
    if (m_params == nullptr || i >= m_params->cArgs) return nullptr;
    const VARIANT* value = &m_params->rgvarg[m_params->cArgs - 1 - i];
    if (V_VT(value) == (VT_VARIANT | VT_BYREF)) value = V_VARIANTREF(value);
    return value;
  }
  bool Missing(UINT i) const {
    const VARIANT* value = At(i);
    return value == nullptr || V_VT(value) == VT_EMPTY || V_VT(value) == VT_NULL;
  }
  std::wstring Text(UINT i) const {
    const VARIANT* value = At(i);
    if (value == nullptr) return L"";
    VARIANT text;
    VariantInit(&text);
    HRESULT hr = VariantChangeType(&text, const_cast<VARIANT*>(value), 0, VT_BSTR);
    if (FAILED(hr)) throw Failure{hr};
    std::wstring result(V_BSTR(&text), SysStringLen(V_BSTR(&text)));
    VariantClear(&text);
    return result;
  }
  int32_t Int(UINT i) const {
    const VARIANT* value = At(i);
    if (value == nullptr) return 0;
    VARIANT number;
    VariantInit(&number);
    HRESULT hr = VariantChangeType(&number, const_cast<VARIANT*>(value), 0, VT_I4);
    if (FAILED(hr)) throw Failure{hr};
    return V_I4(&number);
  }
  // An object argument; a reference the caller releases.
  IDispatch* Object(UINT i) const {
    const VARIANT* value = At(i);
    if (value == nullptr || V_VT(value) != VT_DISPATCH || V_DISPATCH(value) == nullptr) {
      throw Failure{kErrTypeMismatch};
    }
    V_DISPATCH(value)->AddRef();
    return V_DISPATCH(value);
  }
  // A path; a NUL inside would end the name early and reach another file.
  fs::path Path(UINT i) const {
    std::wstring text = Text(i);
    if (text.find(L'\0') != std::wstring::npos) throw Failure{kErrBadFileName};
    return fs::path(text);
  }

 private:
  const DISPPARAMS* m_params;
};

// Holds a reference until the end of the call.
class Held {
 public:
  explicit Held(IUnknown* unknown) : m_unknown(unknown) {}
  ~Held() { m_unknown->Release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  IUnknown* get() const { return m_unknown; }

 private:
  IUnknown* m_unknown;
};

void Check(HRESULT hr) {
  if (FAILED(hr)) throw Failure{hr};
}

void SetText(VARIANT* result, const std::wstring& text) {
  if (result == nullptr) return;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void SetBstr(VARIANT* result, BSTR text) {
  if (result == nullptr) {
    SysFreeString(text);
    return;
  }
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = text;
}

class HostDispatch final : public ComObject<IDispatch> {
 public:
  explicit HostDispatch(Page& page) : m_page(page) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (const auto& entry : kMembers) {
        if (i == 0 && std::wstring_view(entry.name) == names[i]) {
          ids[i] = static_cast<DISPID>(entry.member) + 1;
        }
      }
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT*) override {
    if (id < 1 || id > static_cast<DISPID>(std::size(kMembers))) return DISP_E_MEMBERNOTFOUND;
    if (result != nullptr) VariantInit(result);
    try {
      Call(static_cast<Member>(id - 1), Arguments(params), result, excep);
      return S_OK;
    } catch (const Failure& failure) {
      return Raise(failure, excep);
    } catch (const std::exception&) {
      return Raise(Failure{E_OUTOFMEMORY}, excep);
    }
  }

 private:
  // A failure as the script sees it: the classic number, our description, "host" as source.
  static HRESULT Raise(const Failure& failure, EXCEPINFO* excep) {
    if (excep == nullptr) return failure.hr;
    if (failure.filled) {
      if (excep->pfnDeferredFillIn != nullptr) excep->pfnDeferredFillIn(excep);
      excep->pfnDeferredFillIn = nullptr;
      // A bare wCode is a classic runtime error number.
      if (excep->scode == 0) excep->scode = static_cast<int32_t>(0x800A0000u | excep->wCode);
      excep->wCode = 0;
      if (excep->bstrDescription == nullptr || SysStringLen(excep->bstrDescription) == 0) {
        SysFreeString(excep->bstrDescription);
        excep->bstrDescription = SysAllocString(DescribeError(excep->scode).c_str());
      }
      return DISP_E_EXCEPTION;
    }
    *excep = EXCEPINFO{};
    excep->scode = failure.hr;
    excep->bstrSource = SysAllocString(L"host");
    excep->bstrDescription = SysAllocString(DescribeError(failure.hr).c_str());
    return DISP_E_EXCEPTION;
  }

  // The library serving the host services, with `service` in it.
  template <typename Service>
  Service Need(Service Services::*service) {
    if (m_page.services.module == nullptr) {
      WriteLine(true, L"velmaris: " + m_page.services_error);
      throw Failure{kErrCannotCreateObject};
    }
    if (m_page.services.*service == nullptr) throw Failure{E_NOTIMPL};
    return m_page.services.*service;
  }

  // A control argument as its identity IUnknown.
  static IUnknown* Control(const Arguments& args, UINT i) {
    IDispatch* object = args.Object(i);
    IUnknown* identity = nullptr;
    HRESULT hr = object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    object->Release();
    if (FAILED(hr)) throw Failure{E_UNEXPECTED};
    return identity;
  }

  void Call(Member member, const Arguments& args, VARIANT* result, EXCEPINFO* excep) {
    switch (member) {
      case Member::kPrint:
        WriteLine(false, args.Text(0));
        return;
      case Member::kArgCount:
        if (result != nullptr) {
          V_VT(result) = VT_I4;
          V_I4(result) = static_cast<LONG>(m_page.args.size());
        }
        return;
      case Member::kArg:
        SetText(result, m_page.args.at(static_cast<size_t>(args.Int(0))));
        return;
      case Member::kEnv: {
        std::wstring name = args.Text(0);
        DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
        if (size == 0) return;  // undefined
        std::wstring value(size, L'\0');
        value.resize(GetEnvironmentVariableW(name.c_str(), value.data(), size));
        SetText(result, value);
        return;
      }
      case Member::kInclude: {
        fs::path path = fs::path(m_page.folder) / args.Path(0);
        auto source = ReadScriptSource(path);
        if (!source) throw Failure{kErrFileNotFound};
        // Runs as global code, so its functions and variables become the page's.
        if (!m_page.engine->Run(Wide(DecodeUtf8(*source)), path.wstring())) {
          throw Failure{static_cast<HRESULT>(0x800A139Eu)};
        }
        return;
      }
      case Member::kReadFile: {
        auto bytes = ReadFileBytes(args.Path(0));
        if (!bytes) throw Failure{kErrFileNotFound};
        SetText(result, Wide(DecodeUtf8(*bytes)));
        return;
      }
      case Member::kWriteFile: {
        if (!WriteFileBytes(args.Path(0), Utf8(args.Text(1)))) throw Failure{kErrPathFileAccess};
        return;
      }
      case Member::kRemoveFile: {
        if (!RemoveRegularFile(args.Path(0))) throw Failure{kErrFileNotFound};
        return;
      }
      case Member::kPump:
        Check(Need(&Services::pump)(args.Int(0)));
        return;
      case Member::kLater: {
        auto later = Need(&Services::later);
        int32_t milliseconds = args.Int(0);
        auto call = std::make_unique<LaterCall>(LaterCall{&m_page, args.Object(1), m_page.alive});
        HRESULT hr = later(milliseconds, RunLater, call.get());
        if (FAILED(hr)) call->function->Release();
        Check(hr);
        call.release();
        return;
      }
      case Member::kAnswerMessageBox: {
        static constexpr struct {
          const wchar_t* name;
          int32_t answer;
        } kAnswers[] = {{L"ok", 1},     {L"cancel", 2}, {L"abort", 3}, {L"retry", 4},
                        {L"ignore", 5}, {L"yes", 6},    {L"no", 7}};
        std::wstring name = args.Text(0);
        for (const auto& entry : kAnswers) {
          if (name == entry.name) return Check(Need(&Services::answer_message_box)(entry.answer));
        }
        throw Failure{kErrInvalidArgument};
      }
      case Member::kAnswerFileDialog: {
        auto answer = Need(&Services::answer_file_dialog);
        if (args.Missing(0)) return Check(answer(nullptr, 0));
        std::wstring text = args.Text(0);
        return Check(answer(text.c_str(), static_cast<uint32_t>(text.size())));
      }
      case Member::kAnswerFolder: {
        auto answer = Need(&Services::answer_folder);
        return Check(answer(args.Missing(0) ? nullptr : args.Text(0).c_str()));
      }
      case Member::kMessages: {
        BSTR json = nullptr;
        Check(Need(&Services::messages)(&json));
        return SetBstr(result, json);
      }
      case Member::kFormCheck: {
        // Only a control has a form.
        auto children = Need(&Services::form_children);
        Held control(Control(args, 0));
        BSTR json = nullptr;
        HRESULT hr = children(control.get(), &json);
        SysFreeString(json);
        if (hr == E_NOINTERFACE) throw Failure{kErrTypeMismatch};
        return Check(hr);
      }
      case Member::kFormChildren: {
        auto children = Need(&Services::form_children);
        Held control(Control(args, 0));
        BSTR json = nullptr;
        Check(children(control.get(), &json));
        return SetBstr(result, json);
      }
      case Member::kFormGet: {
        auto get = Need(&Services::form_get);
        Held control(Control(args, 0));
        BSTR json = nullptr;
        Check(get(control.get(), args.Text(1).c_str(), &json));
        return SetBstr(result, json);
      }
      case Member::kFormAct: {
        auto act = Need(&Services::form_act);
        Held control(Control(args, 0));
        std::wstring name = args.Text(1), action = args.Text(2);
        VARIANT argument;
        VariantInit(&argument);
        if (const VARIANT* given = args.At(3))
          Check(VariantCopy(&argument, const_cast<VARIANT*>(given)));
        EXCEPINFO own{};
        EXCEPINFO* filled = excep != nullptr ? excep : &own;
        *filled = EXCEPINFO{};
        HRESULT hr = act(control.get(), name.c_str(), action.c_str(), &argument, filled);
        VariantClear(&argument);
        if (filled == &own) {
          SysFreeString(own.bstrSource);
          SysFreeString(own.bstrDescription);
          SysFreeString(own.bstrHelpFile);
        }
        if (FAILED(hr)) throw Failure{hr, hr == DISP_E_EXCEPTION && excep != nullptr};
        return;
      }
      case Member::kScreenshot:
      case Member::kCloseForm: {
        Held control(Control(args, 0));
        HRESULT hr = member == Member::kScreenshot
                         ? Need(&Services::screenshot)(control.get(), args.Text(1).c_str())
                         : Need(&Services::close_form)(control.get());
        // The forms are drawn by the library's screen, which this host does not have.
        if (hr == E_UNEXPECTED) {
          WriteLine(true, member == Member::kScreenshot ? L"velmaris: host.screenshot 需要 --gui"
                                                        : L"velmaris: host.closeForm 需要 --gui");
        }
        Check(hr);
        if (result != nullptr) {
          V_VT(result) = VT_BOOL;
          V_BOOL(result) = hr == S_OK ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return;
      }
      case Member::kFail:
        throw Failure{args.Int(0)};
    }
  }

  Page& m_page;
};

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& out) {
  out = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

Services LoadServices(std::wstring& error) {
  Services services;
  CLSID clsid;
  wchar_t text[64] = {};
  if (FAILED(CLSIDFromProgID(L"VelmarisClient.FileUpload", &clsid)) ||
      StringFromGUID2(clsid, text, 64) == 0) {
    error = L"没有注册 VelmarisClient.FileUpload（regsvr32 VelmarisClient.dll）";
    return services;
  }
  std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
  wchar_t path[MAX_PATH * 4] = {};
  DWORD size = sizeof(path);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) !=
      ERROR_SUCCESS) {
    error = L"注册表中没有 " + key;
    return services;
  }
  services.path = path;
  services.module = LoadLibraryW(path);
  if (services.module == nullptr) {
    error = L"无法加载 " + services.path;
    return services;
  }
  HMODULE module = services.module;
  Resolve(module, "DllCanUnloadNow", services.can_unload_now);
  Resolve(module, "VelmarisUseAnsweredDialogs", services.use_answered_dialogs);
  Resolve(module, "VelmarisPump", services.pump);
  Resolve(module, "VelmarisLater", services.later);
  Resolve(module, "VelmarisAnswerMessageBox", services.answer_message_box);
  Resolve(module, "VelmarisAnswerFileDialog", services.answer_file_dialog);
  Resolve(module, "VelmarisAnswerFolder", services.answer_folder);
  Resolve(module, "VelmarisMessages", services.messages);
  Resolve(module, "VelmarisFormGet", services.form_get);
  Resolve(module, "VelmarisFormChildren", services.form_children);
  Resolve(module, "VelmarisFormAct", services.form_act);
  Resolve(module, "VelmarisCloseForm", services.close_form);
  Resolve(module, "VelmarisScreenshot", services.screenshot);
  return services;
}

void FreeServices(Services& services) {
  if (services.module != nullptr) FreeLibrary(services.module);
  services = Services{};
}

IDispatch* NewHostDispatch(Page& page) {
  return new HostDispatch(page);
}

}  // namespace velmaris::host::win32
