#include "tests/unit/host/fake_com.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "host/dispatch_proxy.h"
#include "host/text.h"

namespace velmaris::host::testing {

using namespace com;

namespace {

int g_live_strings = 0;
int g_live_controls = 0;

BSTR AllocLen(const OLECHAR* text, uint32_t length) {
  auto* block = static_cast<char*>(std::malloc(4 + (length + 1) * sizeof(OLECHAR)));
  uint32_t bytes = length * sizeof(OLECHAR);
  std::memcpy(block, &bytes, 4);
  auto* chars = reinterpret_cast<OLECHAR*>(block + 4);
  if (text) std::memcpy(chars, text, bytes);
  chars[length] = 0;
  ++g_live_strings;
  return chars;
}

void FreeString(BSTR text) {
  if (text == nullptr) return;
  --g_live_strings;
  std::free(reinterpret_cast<char*>(text) - 4);
}

uint32_t StringLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - 4, 4);
  return bytes / sizeof(OLECHAR);
}

void Init(VARIANT* value) {
  std::memset(value, 0, sizeof *value);
}

HRESULT Clear(VARIANT* value) {
  if (value->vt == VT_BSTR) FreeString(value->bstrVal);
  if ((value->vt == VT_DISPATCH || value->vt == VT_UNKNOWN) && value->punkVal) {
    value->punkVal->Release();
  }
  Init(value);
  return S_OK;
}

std::u16string Text(const VARIANT& value) {
  return value.vt == VT_BSTR ? std::u16string(value.bstrVal, StringLen(value.bstrVal))
                             : std::u16string();
}

void SetText(VARIANT* result, std::u16string_view text) {
  if (result == nullptr) return;
  result->vt = VT_BSTR;
  result->bstrVal = AllocLen(text.data(), static_cast<uint32_t>(text.size()));
}

// The members' kinds, as a control's type information gives them; nothing else is described.
class FakeTypeInfo final : public ITypeInfo {
 public:
  FakeTypeInfo() {
    const std::pair<DISPID, INVOKEKIND> members[] = {
        {1, INVOKE_PROPERTYGET}, {1, INVOKE_PROPERTYPUT}, {2, INVOKE_FUNC}, {3, INVOKE_FUNC},
        {4, INVOKE_PROPERTYGET}, {5, INVOKE_FUNC},        {6, INVOKE_FUNC}};
    for (const auto& [id, kind] : members) {
      FUNCDESC func{};
      func.memid = id;
      func.invkind = kind;
      func.funckind = FUNC_DISPATCH;
      m_funcs.push_back(func);
    }
    m_attr.typekind = TKIND_DISPATCH;
    m_attr.cFuncs = static_cast<uint16_t>(m_funcs.size());
  }

  HRESULT QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    *attr = &m_attr;
    return S_OK;
  }
  HRESULT GetFuncDesc(uint32_t index, FUNCDESC** desc) override {
    *desc = index < m_funcs.size() ? &m_funcs[index] : nullptr;
    return *desc ? S_OK : TYPE_E_ELEMENTNOTFOUND;
  }
  void ReleaseTypeAttr(TYPEATTR*) override {}
  void ReleaseFuncDesc(FUNCDESC*) override {}
  void ReleaseVarDesc(VARDESC*) override {}
  HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT GetVarDesc(uint32_t, VARDESC**) override { return E_NOTIMPL; }
  HRESULT GetNames(MEMBERID, BSTR*, uint32_t, uint32_t*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeOfImplType(uint32_t, HREFTYPE*) override { return E_NOTIMPL; }
  HRESULT GetImplTypeFlags(uint32_t, int32_t*) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(OLECHAR**, uint32_t, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT Invoke(void*, MEMBERID, uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*, uint32_t*) override {
    return E_NOTIMPL;
  }
  HRESULT GetDocumentation(MEMBERID, BSTR*, BSTR*, uint32_t*, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, uint16_t*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetContainingTypeLib(ITypeLib**, uint32_t*) override { return E_NOTIMPL; }

 private:
  std::vector<FUNCDESC> m_funcs;
  TYPEATTR m_attr{};
};

}  // namespace

const ComApi& FakeApi() {
  static const ComApi api = [] {
    ComApi made;
    made.sys_alloc_string_len = AllocLen;
    made.sys_free_string = FreeString;
    made.sys_string_len = StringLen;
    made.variant_init = Init;
    made.variant_clear = Clear;
    return made;
  }();
  return api;
}

int LiveStrings() {
  return g_live_strings;
}

FakeControl::FakeControl() {
  ++g_live_controls;
}
FakeControl::~FakeControl() {
  --g_live_controls;
}
int FakeControl::Live() {
  return g_live_controls;
}

HRESULT FakeControl::QueryInterface(REFIID riid, void** object) {
  *object = nullptr;
  if (!(riid == IID_IUnknown) && !(riid == IID_IDispatch)) return E_NOINTERFACE;
  *object = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

ULONG FakeControl::AddRef() {
  return ++m_refs;
}

ULONG FakeControl::Release() {
  ULONG left = --m_refs;
  if (left == 0) delete this;
  return left;
}

HRESULT FakeControl::GetTypeInfoCount(uint32_t* count) {
  *count = 1;
  return S_OK;
}

HRESULT FakeControl::GetTypeInfo(uint32_t, LCID, ITypeInfo** info) {
  static FakeTypeInfo type;
  *info = &type;
  return S_OK;
}

HRESULT FakeControl::GetIDsOfNames(REFIID, OLECHAR** names, uint32_t count, LCID, DISPID* ids) {
  static const char16_t* const kNames[] = {u"name",  u"concat", u"fail",
                                           u"child", u"echo",   u"legacy"};
  if (count != 1) return E_INVALIDARG;
  std::u16string wanted(names[0]);
  for (auto& c : wanted) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  for (DISPID i = 0; i < 6; ++i) {
    if (wanted == kNames[i]) {
      ids[0] = i + 1;
      return S_OK;
    }
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT FakeControl::Invoke(DISPID id, REFIID, LCID, uint16_t flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* excep, uint32_t*) {
  ++invokes;
  const bool method = (flags & DISPATCH_METHOD) != 0;
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  switch (id) {
    case 1:
      if (put) {
        if (params->cArgs != 1 || params->cNamedArgs != 1 ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
          return DISP_E_PARAMNOTFOUND;
        }
        if (params->rgvarg[0].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        m_name = Text(params->rgvarg[0]);
        return S_OK;
      }
      SetText(result, m_name);
      return S_OK;
    case 4:
      if (put) return DISP_E_MEMBERNOTFOUND;
      result->vt = VT_DISPATCH;
      result->pdispVal = new FakeControl;
      return S_OK;
    default:
      break;
  }
  // Methods: a property read alone does not call them.
  if (!method) return DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case 2:
      if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
      // rgvarg[1] is the first argument.
      SetText(result, Text(params->rgvarg[1]) + Text(params->rgvarg[0]));
      return S_OK;
    case 3:
      excep->scode = static_cast<HRESULT>(0x800A01C9u);
      excep->bstrSource = AllocLen(u"Src", 3);
      excep->bstrDescription = AllocLen(u"重复", 2);
      return DISP_E_EXCEPTION;
    case 5:
      echo_types.clear();
      for (uint32_t i = params->cArgs; i-- > 0;) echo_types.push_back(params->rgvarg[i].vt);
      if (params->cArgs == 0) return S_OK;
      *result = params->rgvarg[params->cArgs - 1];
      if (result->vt == VT_BSTR) {
        result->bstrVal = AllocLen(result->bstrVal, StringLen(result->bstrVal));
      } else if (result->vt == VT_DISPATCH && result->pdispVal) {
        result->pdispVal->AddRef();
      }
      return S_OK;
    case 6:
      excep->wCode = 53;
      return DISP_E_EXCEPTION;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

duk_context* NewEngineWithControl(FakeControl** control) {
  duk_context* ctx = duk_create_heap_default();
  auto* made = new FakeControl;
  if (control) *control = made;
  PushDispatch(ctx, made, FakeApi());
  duk_put_global_string(ctx, "o");
  return ctx;
}

std::string Eval(duk_context* ctx, const std::string& code) {
  // The code is passed as a string literal so that statements work as well as expressions.
  duk_push_string(ctx, code.c_str());
  duk_put_global_string(ctx, "__code");
  const char* runner =
      "(function () { try { return String((0, eval)(__code)); }"
      " catch (e) { return 'throw: ' + (e.number !== undefined ? e.number + '|' + e.description +"
      " '|' + e.source : String(e)); } })()";
  if (duk_peval_string(ctx, runner) != 0) {
    std::string failure = std::string("engine: ") + duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    return failure;
  }
  std::string out = ScriptToUtf8(duk_get_string(ctx, -1));
  duk_pop(ctx);
  return out;
}

}  // namespace velmaris::host::testing
