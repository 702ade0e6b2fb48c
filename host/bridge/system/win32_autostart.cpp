#include "host/bridge/system/autostart.h"

#include <windows.h>

#include "host/bridge/system/win32_text.h"

namespace velmaris::host::bridge {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"VelmarisBridge";

// One argument as CommandLineToArgvW (and the C runtime) read it back: quoted when it holds a
// blank or a quote or is empty; backslashes doubled where a quote follows them.
std::wstring CommandArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Before a quote each backslash is doubled and the quote escaped; elsewhere they stand.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  // Before the closing quote as well.
  quoted.append(backslashes * 2, L'\\');
  return quoted + L'"';
}

}  // namespace

std::string AutostartLocation() {
  return "HKEY_CURRENT_USER\\" + Utf8Text(kRunKey) + "\\" + Utf8Text(kValueName);
}

bool InstallAutostart(const std::string& program, const std::vector<std::string>& arguments,
                      std::string& error) {
  // The program's name is read up to its closing quote, with no escapes: a path holds no quote.
  std::wstring command = L"\"" + WideText(program) + L"\"";
  for (const auto& argument : arguments) command += L" " + CommandArgument(WideText(argument));
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &key, nullptr);
  if (result == ERROR_SUCCESS) {
    result =
        RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    error = "无法写入自动启动项“" + AutostartLocation() + "”：" +
            Win32ErrorText(static_cast<unsigned long>(result));
    return false;
  }
  return true;
}

bool UninstallAutostart(std::string& error) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key);
  if (result == ERROR_SUCCESS) {
    result = RegDeleteValueW(key, kValueName);
    RegCloseKey(key);
  }
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return true;
  error = "无法删除自动启动项“" + AutostartLocation() + "”：" +
          Win32ErrorText(static_cast<unsigned long>(result));
  return false;
}

}  // namespace velmaris::host::bridge
