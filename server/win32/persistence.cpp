// IPersistStreamInit and IPersistPropertyBag: the control's read/write properties, kept by the
// container between sessions (a stream) or given by the page (<param> elements, a property bag).
// The stream: "VMXP", the format's version, the number of properties, then each property as its
// name and its value as text, each a count of UTF-16 units and the units. Properties are found by
// name, so a later build that adds or drops one still reads an older stream.
#include <cstdint>
#include <string>

#include "server/win32/activex_control.h"

namespace velmaris::server::win32 {

namespace {

constexpr uint32_t kMagic = 0x50584D56;  // "VMXP"
constexpr uint32_t kVersion = 1;

HRESULT ReadAll(IStream* stream, void* data, ULONG size) {
  ULONG read = 0;
  const HRESULT hr = stream->Read(data, size, &read);
  if (FAILED(hr)) return hr;
  return read == size ? S_OK : STG_E_READFAULT;
}

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
  ULONG written = 0;
  const HRESULT hr = stream->Write(data, size, &written);
  if (FAILED(hr)) return hr;
  return written == size ? S_OK : STG_E_WRITEFAULT;
}

HRESULT ReadText(IStream* stream, std::u16string& text) {
  uint32_t length = 0;
  if (HRESULT hr = ReadAll(stream, &length, sizeof length); FAILED(hr)) return hr;
  // A property's text is short; a huge count is a damaged stream.
  if (length > (1u << 20)) return STG_E_DOCFILECORRUPT;
  text.assign(length, u'\0');
  return length == 0 ? S_OK : ReadAll(stream, text.data(), length * sizeof(char16_t));
}

HRESULT WriteText(IStream* stream, const std::u16string& text) {
  const auto length = static_cast<uint32_t>(text.size());
  if (HRESULT hr = WriteAll(stream, &length, sizeof length); FAILED(hr)) return hr;
  return length == 0 ? S_OK : WriteAll(stream, text.data(), length * sizeof(char16_t));
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

bool ActiveXControl::GetProperty(const PersistedProperty& property, std::u16string& value) {
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  if (FAILED(Outer()->Invoke(property.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                             &none, &result, nullptr, nullptr)) ||
      FAILED(VariantChangeType(&result, &result, 0, VT_BSTR))) {
    VariantClear(&result);
    return false;
  }
  value.assign(reinterpret_cast<const char16_t*>(result.bstrVal), SysStringLen(result.bstrVal));
  VariantClear(&result);
  return true;
}

std::vector<std::u16string> ActiveXControl::Values() {
  std::vector<std::u16string> values;
  for (const auto& property : m_subject.properties) {
    std::u16string value;
    GetProperty(property, value);
    values.push_back(std::move(value));
  }
  return values;
}

HRESULT ActiveXControl::SetProperty(const PersistedProperty& property, const VARIANT& value) {
  VARIANT argument = value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, &named, 1, 1};
  return Outer()->Invoke(property.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                         &params, nullptr, nullptr, nullptr);
}

STDMETHODIMP ActiveXControl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = Clsid();
  return S_OK;
}

STDMETHODIMP ActiveXControl::IsDirty() {
  // A script may have set a property since: the values themselves say.
  return Values() != m_clean ? S_OK : S_FALSE;
}

STDMETHODIMP ActiveXControl::InitNew() {
  // A new control starts as its class makes it.
  m_clean = Values();
  return S_OK;
}

STDMETHODIMP ActiveXControl::Load(LPSTREAM stream) {
  if (stream == nullptr) return E_POINTER;
  uint32_t header[3] = {};
  if (HRESULT hr = ReadAll(stream, header, sizeof header); FAILED(hr)) return hr;
  if (header[0] != kMagic) return STG_E_DOCFILECORRUPT;
  if (header[1] > kVersion) return STG_E_OLDDLL;
  for (uint32_t i = 0; i < header[2]; ++i) {
    std::u16string name, value;
    if (HRESULT hr = ReadText(stream, name); FAILED(hr)) return hr;
    if (HRESULT hr = ReadText(stream, value); FAILED(hr)) return hr;
    for (const auto& property : m_subject.properties) {
      if (property.name != name) continue;
      VARIANT text;
      text.vt = VT_BSTR;
      text.bstrVal = SysAllocStringLen(Wide(value), static_cast<UINT>(value.size()));
      const HRESULT hr = SetProperty(property, text);
      VariantClear(&text);
      if (FAILED(hr)) return hr;
    }
  }
  m_clean = Values();
  return S_OK;
}

STDMETHODIMP ActiveXControl::Save(LPSTREAM stream, BOOL clear_dirty) {
  if (stream == nullptr) return E_POINTER;
  std::vector<std::pair<std::u16string, std::u16string>> values;
  for (const auto& property : m_subject.properties) {
    std::u16string value;
    if (!GetProperty(property, value)) return E_FAIL;
    values.emplace_back(property.name, std::move(value));
  }
  const uint32_t header[3] = {kMagic, kVersion, static_cast<uint32_t>(values.size())};
  if (HRESULT hr = WriteAll(stream, header, sizeof header); FAILED(hr)) return hr;
  for (const auto& [name, value] : values) {
    if (HRESULT hr = WriteText(stream, name); FAILED(hr)) return hr;
    if (HRESULT hr = WriteText(stream, value); FAILED(hr)) return hr;
  }
  if (clear_dirty) m_clean = Values();
  return S_OK;
}

STDMETHODIMP ActiveXControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  uint64_t total = 3 * sizeof(uint32_t);
  for (const auto& property : m_subject.properties) {
    std::u16string value;
    GetProperty(property, value);
    total += 2 * sizeof(uint32_t) + (property.name.size() + value.size()) * sizeof(char16_t);
  }
  size->QuadPart = total;
  return S_OK;
}

STDMETHODIMP ActiveXControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (bag == nullptr) return E_POINTER;
  // Only the control's own names are asked for: a <param> of another name is left unread.
  for (const auto& property : m_subject.properties) {
    VARIANT value;
    VariantInit(&value);
    if (bag->Read(Wide(property.name), &value, log) == S_OK) {
      const HRESULT hr = SetProperty(property, value);
      VariantClear(&value);
      if (FAILED(hr)) return hr;
    }
  }
  m_clean = Values();
  return S_OK;
}

STDMETHODIMP ActiveXControl::Save(IPropertyBag* bag, BOOL clear_dirty, BOOL) {
  if (bag == nullptr) return E_POINTER;
  for (const auto& property : m_subject.properties) {
    std::u16string text;
    if (!GetProperty(property, text)) return E_FAIL;
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(Wide(text), static_cast<UINT>(text.size()));
    const HRESULT hr = bag->Write(Wide(property.name), &value);
    VariantClear(&value);
    if (FAILED(hr)) return hr;
  }
  if (clear_dirty) m_clean = Values();
  return S_OK;
}

}  // namespace velmaris::server::win32
