#include "platform/win32/win32_ui.h"

#include <windows.h>
// After windows.h, which they need.
#include <commdlg.h>
#include <shlobj.h>
// The Ui's member has the plain name; the system's function is called by its wide one.
#undef MessageBox

#include <vector>

#include "platform/headless/headless_ui.h"

namespace velmaris {

namespace {

// A message box without a caption of its own shows the library's name, as the classic runtime
// shows the project's title.
constexpr wchar_t kDefaultCaption[] = L"VelmarisClient";
// Room for the names of many files chosen at once.
constexpr size_t kAnswerChars = 256 * 1024;
// What of a message box style the system takes as it is: buttons, icon, default button,
// modality, and the window's placement and reading order.
constexpr UINT kBoxStyleBits = MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK | MB_MODEMASK |
                               MB_SETFOREGROUND | MB_TOPMOST | MB_RIGHT | MB_RTLREADING;

std::wstring W(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

}  // namespace

namespace win32ui {

std::wstring Filter(std::u16string_view classic) {
  std::vector<std::u16string_view> parts;
  for (size_t start = 0;;) {
    const size_t bar = classic.find(u'|', start);
    parts.push_back(classic.substr(start, bar == std::u16string_view::npos ? bar : bar - start));
    if (bar == std::u16string_view::npos) break;
    start = bar + 1;
  }
  std::wstring filter;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i + 1].find_first_not_of(u"; ") == std::u16string_view::npos) continue;
    filter += W(parts[i]) + L'\0' + W(parts[i + 1]) + L'\0';
  }
  if (filter.empty()) return filter;
  return filter + L'\0';
}

std::u16string Selection(const wchar_t* answer) {
  std::u16string joined;
  const wchar_t* part = answer;
  for (bool first = true; *part != L'\0'; first = false) {
    const std::wstring_view name(part);
    if (!first) joined += u'\0';
    joined.append(name.begin(), name.end());
    part += name.size() + 1;
  }
  return joined;
}

}  // namespace win32ui

int Win32Ui::MessageBox(const std::u16string& text, int style, const std::u16string& caption) {
  const std::wstring shown_caption = caption.empty() ? kDefaultCaption : W(caption);
  const int answer = MessageBoxW(GetActiveWindow(), W(text).c_str(), shown_caption.c_str(),
                                 static_cast<UINT>(style) & kBoxStyleBits);
  // No box could be shown: the answer Enter would have given.
  return answer == 0 ? FirstButton(style) : answer;
}

std::optional<std::u16string> Win32Ui::OpenFileDialog(const FileDialogRequest& request) {
  std::vector<wchar_t> answer(kAnswerChars, L'\0');
  const std::wstring filter = win32ui::Filter(request.filter);
  const std::wstring title = W(request.title);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetActiveWindow();
  dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = answer.data();
  dialog.nMaxFile = static_cast<DWORD>(answer.size());
  // Without a title of its own the dialog takes the system's ("打开").
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                 OFN_NOCHANGEDIR | (request.multi_select ? OFN_ALLOWMULTISELECT : 0);
  if (!GetOpenFileNameW(&dialog) || answer[0] == L'\0') return std::nullopt;
  return win32ui::Selection(answer.data());
}

std::optional<std::u16string> Win32Ui::BrowseForFolder(const std::u16string& title) {
  // The resizable picker needs OLE on this thread; a thread in the multithreaded apartment gets
  // the plain one.
  const HRESULT ole = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring text = W(title);
  wchar_t name[MAX_PATH] = {};
  BROWSEINFOW browse{};
  browse.hwndOwner = GetActiveWindow();
  browse.pszDisplayName = name;
  browse.lpszTitle = text.empty() ? nullptr : text.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | (SUCCEEDED(ole) ? BIF_NEWDIALOGSTYLE : 0);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  std::optional<std::u16string> answer;
  wchar_t path[MAX_PATH] = {};
  if (chosen != nullptr && SHGetPathFromIDListW(chosen, path)) {
    answer = std::u16string(path, path + wcslen(path));
  }
  CoTaskMemFree(chosen);
  if (SUCCEEDED(ole)) CoUninitialize();
  return answer;
}

}  // namespace velmaris
