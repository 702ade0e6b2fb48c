#include "server/win32/system.h"

// windows.h first: the OLE headers build on it.
#include <windows.h>

#include <oleauto.h>

namespace velmaris::win32 {

namespace {

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
const wchar_t* Wide(const std::u16string& text) {
  return Wide(text.c_str());
}

// Sets the key's default value (or the named one), creating the key.
bool SetValue(const std::u16string& key, const wchar_t* name, const std::u16string& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(key), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const bool set =
      RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Wide(value)), bytes) ==
      ERROR_SUCCESS;
  RegCloseKey(handle);
  return set;
}

bool DeleteTree(const std::u16string& key) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, Wide(key));
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return false;
  // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
  const LSTATUS gone = RegDeleteKeyW(HKEY_CLASSES_ROOT, Wide(key));
  return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
}

}  // namespace

char16_t* AllocString(const char16_t* text, uint32_t length) {
  return reinterpret_cast<char16_t*>(SysAllocStringLen(Wide(text), length));
}

void FreeString(char16_t* text) {
  SysFreeString(reinterpret_cast<BSTR>(text));
}

uint32_t StringLength(const char16_t* text) {
  return SysStringLen(reinterpret_cast<BSTR>(const_cast<char16_t*>(text)));
}

void InitVariant(void* variant) {
  VariantInit(static_cast<VARIANT*>(variant));
}

int32_t ClearVariant(void* variant) {
  return VariantClear(static_cast<VARIANT*>(variant));
}

int32_t CopyVariant(void* destination, const void* source) {
  return VariantCopy(static_cast<VARIANT*>(destination),
                     static_cast<VARIANT*>(const_cast<void*>(source)));
}

int32_t ChangeVariantType(void* destination, const void* source, uint16_t vt) {
  return VariantChangeTypeEx(static_cast<VARIANT*>(destination),
                             static_cast<VARIANT*>(const_cast<void*>(source)), LOCALE_USER_DEFAULT,
                             VARIANT_ALPHABOOL, vt);
}

int32_t RegisteredTypeInfo(const void* libid, uint16_t major, uint16_t minor, const void* iid,
                           void** info) {
  ITypeLib* library = nullptr;
  HRESULT hr =
      LoadRegTypeLib(*static_cast<const GUID*>(libid), major, minor, LOCALE_NEUTRAL, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(*static_cast<const GUID*>(iid),
                                  reinterpret_cast<ITypeInfo**>(info));
  library->Release();
  return hr;
}

std::u16string ModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModulePath), &module)) {
    return {};
  }
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, reinterpret_cast<wchar_t*>(path.data()),
                                            static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

bool RegisterServer(const std::u16string& module, const std::vector<ClassKeys>& classes,
                    const std::u16string& libid) {
  for (const auto& c : classes) {
    const std::u16string key = u"CLSID\\" + c.clsid;
    if (!SetValue(key, nullptr, c.name) || !SetValue(key + u"\\InprocServer32", nullptr, module) ||
        !SetValue(key + u"\\InprocServer32", L"ThreadingModel", u"Apartment") ||
        !SetValue(key + u"\\ProgID", nullptr, c.progid) ||
        !SetValue(key + u"\\TypeLib", nullptr, libid) || !SetValue(c.progid, nullptr, c.name) ||
        !SetValue(c.progid + u"\\CLSID", nullptr, c.clsid)) {
      return false;
    }
  }
  // The type library is a resource of the module; loading it this way registers it.
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(Wide(module), REGKIND_REGISTER, &library))) return false;
  library->Release();
  return true;
}

bool UnregisterServer(const std::vector<ClassKeys>& classes, const void* libid, uint16_t major,
                      uint16_t minor) {
  bool removed = true;
  for (const auto& c : classes) {
    removed = DeleteTree(u"CLSID\\" + c.clsid) && removed;
    removed = DeleteTree(c.progid) && removed;
  }
  // The registration LoadTypeLibEx made is under the type library's own platform: this build's.
  constexpr SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  const HRESULT hr =
      UnRegisterTypeLib(*static_cast<const GUID*>(libid), major, minor, LOCALE_NEUTRAL, platform);
  return removed && (SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY);
}

}  // namespace velmaris::win32
