// The Ui services as the system's own dialogs: MessageBoxW (whose styles and answers are the
// classic values themselves), the open-file dialog with the classic filter string, and the folder
// picker. Each is modal and runs its own message loop, so sockets and timers go on meanwhile.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui.h"

namespace velmaris {

class Win32Ui : public Ui {
 public:
  int MessageBox(const std::u16string& text, int style, const std::u16string& caption) override;
  std::optional<std::u16string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::u16string> BrowseForFolder(const std::u16string& title) override;
};

namespace win32ui {

// "描述|*.a;*.b|…" pairs as the dialog's filter: each description and its patterns ended by a
// NUL, the whole ended by one more. A pair without patterns is left out.
std::wstring Filter(std::u16string_view classic);

// The dialog's answer as the Ui gives it: one file as its path; several (the dialog's folder,
// then the names, each ended by a NUL, the whole by one more) as the folder and the names
// separated by "\0".
std::u16string Selection(const wchar_t* answer);

}  // namespace win32ui

}  // namespace velmaris
