#include "host/win32/host_dispatch.h"

#include <string_view>
#include <vector>

#include "host/entry_points.h"
#include "host/errors.h"
#include "host/text.h"
#include "host/win32/com_object.h"
#include "host/win32/engine.h"

namespace velmaris::host::win32 {

namespace {

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

std::u16string Units(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

// The library's own objects and the system's share one layout.
com::IUnknown* OurUnknown(IUnknown* unknown) {
  return reinterpret_cast<com::IUnknown*>(unknown);
}

// A conversion that failed before the member ran.
struct Failure {
  HRESULT hr;
};

// A function of the page, for host.later: called with no arguments through its IDispatch.
class DispatchCallback final : public Callback {
 public:
  DispatchCallback(Page& page, IDispatch* function) : m_page(page), m_function(function) {
    m_function->AddRef();
  }
  ~DispatchCallback() override { m_function->Release(); }
  DispatchCallback(const DispatchCallback&) = delete;
  DispatchCallback& operator=(const DispatchCallback&) = delete;

  bool Run() override {
    DISPPARAMS none{};
    EXCEPINFO excep{};
    VARIANT result;
    VariantInit(&result);
    const int before = m_page.engine->Reported();
    HRESULT hr = m_function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                    &none, &result, &excep, nullptr);
    VariantClear(&result);
    // Nobody is there to catch it: reported like an uncaught error of the page.
    if (FAILED(hr) && m_page.engine->Reported() == before) {
      int32_t number = excep.scode != 0 ? excep.scode : hr;
      WriteLine(true, L"错误 " + std::to_wstring(number) + L": " +
                          (excep.bstrDescription ? std::wstring(excep.bstrDescription)
                                                 : Wide(DescribeHresult(number))));
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return SUCCEEDED(hr);
  }

 private:
  Page& m_page;
  IDispatch* m_function;
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
  // The value as `type` by the system's rules; VT_EMPTY when it is missing.
  VARIANT As(UINT i, VARTYPE type) const {
    VARIANT converted;
    VariantInit(&converted);
    const VARIANT* value = At(i);
    if (value == nullptr) return converted;
    HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(value), 0, type);
    if (FAILED(hr)) throw Failure{hr};
    return converted;
  }
  std::u16string Text(UINT i) const {
    VARIANT text = As(i, VT_BSTR);
    if (V_VT(&text) != VT_BSTR) return u"";
    std::u16string result(V_BSTR(&text), V_BSTR(&text) + SysStringLen(V_BSTR(&text)));
    VariantClear(&text);
    return result;
  }
  IDispatch* Object(UINT i) const {
    const VARIANT* value = At(i);
    return value != nullptr && V_VT(value) == VT_DISPATCH ? V_DISPATCH(value) : nullptr;
  }
  // One argument, converted as the member's kind says.
  Arg Convert(UINT i, ArgKind kind, Page& page) const {
    Arg arg;
    switch (kind) {
      case ArgKind::kText:
      case ArgKind::kAllText:
        arg.text = Text(i);
        break;
      case ArgKind::kOptionalText:
      case ArgKind::kList:
        if (!Missing(i)) arg.text = Text(i);
        break;
      case ArgKind::kInt: {
        VARIANT number = As(i, VT_I4);
        arg.number = V_VT(&number) == VT_I4 ? V_I4(&number) : 0;
        break;
      }
      case ArgKind::kFlag: {
        VARIANT flag = As(i, VT_BOOL);
        arg.number = V_VT(&flag) == VT_BOOL && V_BOOL(&flag) != VARIANT_FALSE ? 1 : 0;
        break;
      }
      case ArgKind::kObject:
        if (IDispatch* object = Object(i)) arg.object.object = OurUnknown(object);
        break;
      case ArgKind::kFunction: {
        IDispatch* function = Object(i);
        if (function == nullptr) throw Failure{kTypeMismatch};
        arg.callback = std::make_unique<DispatchCallback>(page, function);
        break;
      }
    }
    return arg;
  }

 private:
  const DISPPARAMS* m_params;
};

// A form's members follow the host's in the ids.
constexpr DISPID kFormIds = 0x100;
constexpr wchar_t kFormPrefix[] = L"form.";
// Shows a control's form in a window of its own, for the prelude of a page run with --gui.
constexpr DISPID kShowFormId = 0x200;
constexpr wchar_t kShowFormName[] = L"showForm";

// A failure as the script sees it: number, description and source.
HRESULT Raise(const ScriptError& error, EXCEPINFO* excep) {
  if (excep == nullptr) return error.number;
  *excep = EXCEPINFO{};
  excep->scode = error.number;
  if (!error.source.empty()) excep->bstrSource = SysAllocString(Wide(error.source).c_str());
  excep->bstrDescription = SysAllocString(Wide(error.description).c_str());
  return DISP_E_EXCEPTION;
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
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (count > 0) ids[0] = Find(names[0]);
    for (UINT i = 0; i < count; ++i) {
      if (ids[i] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT*) override {
    if (id == kShowFormId) return ShowForm(Arguments(params));
    const bool form = id > kFormIds;
    const auto members = form ? FormMembers() : HostMembers();
    const DISPID index = id - (form ? kFormIds : 0) - 1;
    if (index < 0 || index >= static_cast<DISPID>(members.size())) return DISP_E_MEMBERNOTFOUND;
    if (result != nullptr) VariantInit(result);
    try {
      Call(members[static_cast<size_t>(index)], form, Arguments(params), result);
      return S_OK;
    } catch (const Failure& failure) {
      return Raise(HostError(failure.hr, u"host"), excep);
    } catch (const ScriptError& error) {
      return Raise(error, excep);
    } catch (const std::exception&) {
      return Raise(HostError(E_OUTOFMEMORY, u"host"), excep);
    }
  }

 private:
  static DISPID Find(std::wstring_view name) {
    if (name == kShowFormName) return kShowFormId;
    std::span<const Member> members = HostMembers();
    DISPID base = 0;
    if (name.starts_with(kFormPrefix)) {
      name.remove_prefix(std::size(kFormPrefix) - 1);
      members = FormMembers();
      base = kFormIds;
    }
    for (size_t i = 0; i < members.size(); ++i) {
      if (Units(name) == DecodeUtf8(members[i].name)) return base + static_cast<DISPID>(i) + 1;
    }
    return DISPID_UNKNOWN;
  }

  // A control without a form, or a library without windows, is left as it is.
  HRESULT ShowForm(const Arguments& given) {
    IDispatch* control = given.Object(0);
    if (control == nullptr || m_page.services == nullptr) return S_OK;
    IUnknown* identity = nullptr;
    if (FAILED(control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) {
      return S_OK;
    }
    host::ShowForm(*m_page.services, identity);
    identity->Release();
    return S_OK;
  }

  void Call(const Member& member, bool form, const Arguments& given, VARIANT* result) {
    // A form's members have their control first.
    const UINT first = form ? 1 : 0;
    std::vector<Arg> args;
    for (int i = 0; i < member.arity; ++i) {
      args.push_back(given.Convert(first + static_cast<UINT>(i), member.args[i], m_page));
    }
    ObjectArg self;
    if (IDispatch* control = form ? given.Object(0) : nullptr) self.object = OurUnknown(control);
    host::Call call{m_page, args, self};
    Answer answer;
    if (auto error = CallMember(member, call, answer)) throw *error;
    switch (member.result) {
      case ResultKind::kText:
      case ResultKind::kOptionalText:
      case ResultKind::kJson:
        if (answer.text && result != nullptr) {
          V_VT(result) = VT_BSTR;
          V_BSTR(result) =
              SysAllocStringLen(Wide(*answer.text).c_str(), static_cast<UINT>(answer.text->size()));
        }
        return;
      case ResultKind::kFlag:
        if (result != nullptr) {
          V_VT(result) = VT_BOOL;
          V_BOOL(result) = answer.flag ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return;
      case ResultKind::kScript:
        // Runs as global code, so its functions and variables become the page's.
        if (!m_page.engine->Run(Wide(DecodeUtf8(answer.source)), Wide(answer.text.value_or(u"")))) {
          throw Failure{static_cast<HRESULT>(0x800A139Eu)};
        }
        return;
      case ResultKind::kNone:
      case ResultKind::kForm:
        return;
    }
  }

  Page& m_page;
};

void* FindSymbol(void* module, const char* name) {
  auto symbol = GetProcAddress(static_cast<HMODULE>(module), name);
  // Strings and variants are the system's on Windows, which the library uses too.
  const std::string_view wanted(name);
  if (symbol == nullptr && (wanted.starts_with("Sys") || wanted.starts_with("Variant"))) {
    symbol = GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), name);
  }
  return reinterpret_cast<void*>(symbol);
}

}  // namespace

const ComApi* Page::Services(std::u16string& error) {
  if (services == nullptr) error = services_error;
  return services.get();
}

void Page::WriteLine(bool error_stream, std::u16string_view text) {
  win32::WriteLine(error_stream, Wide(text));
}

void LoadServices(Page& page) {
  CLSID clsid;
  wchar_t text[64] = {};
  if (FAILED(CLSIDFromProgID(L"VelmarisClient.FileUpload", &clsid)) ||
      StringFromGUID2(clsid, text, 64) == 0) {
    page.services_error = u"没有注册 VelmarisClient.FileUpload（regsvr32 VelmarisClient.dll）";
    return;
  }
  std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
  wchar_t path[MAX_PATH * 4] = {};
  DWORD size = sizeof(path);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) !=
      ERROR_SUCCESS) {
    page.services_error = u"注册表中没有 " + Units(key);
    return;
  }
  page.library = path;
  page.module = LoadLibraryW(path);
  if (page.module == nullptr) {
    page.services_error = u"无法加载 " + Units(page.library);
    return;
  }
  std::string missing;
  page.services = LoadEntryPoints(page.module, FindSymbol, missing);
  if (page.services == nullptr) {
    page.services_error = Units(page.library) + u": missing entry point " + DecodeUtf8(missing);
  }
}

void FreeServices(Page& page) {
  page.services.reset();
  if (page.module != nullptr) FreeLibrary(page.module);
  page.module = nullptr;
}

IDispatch* NewHostDispatch(Page& page) {
  return new HostDispatch(page);
}

}  // namespace velmaris::host::win32
