// User-interface services the controls call: message boxes, the open-file dialog and the folder
// picker. Headless, the host answers them; on screen, real dialogs do.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmaris {

// Message box styles and answers, with the classic values.
namespace msgbox {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kAbortRetryIgnore = 2;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;

inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace msgbox

struct FileDialogRequest {
  std::u16string title;
  std::u16string filter;  // "描述|*.doc;*.txt|..." pairs, as the classic dialog takes them
  bool multi_select = false;
};

class Ui {
 public:
  virtual ~Ui() = default;
  // Shows a modal message box; returns the button chosen (msgbox::kOk, ...). An empty caption
  // means the box has no caption of its own.
  virtual int MessageBox(const std::u16string& text, int style, const std::u16string& caption) = 0;
  // Returns the chosen path, or with multiple selection the folder and the names separated by
  // "\0"; nothing when cancelled.
  virtual std::optional<std::u16string> OpenFileDialog(const FileDialogRequest& request) = 0;
  // Returns the chosen folder, nothing when cancelled.
  virtual std::optional<std::u16string> BrowseForFolder(const std::u16string& title) = 0;
};

// The services without a screen, which the host answers ahead of time: answers are queued, and
// everything shown is recorded.
class AnsweredUi : public Ui {
 public:
  struct Shown {
    std::u16string kind;  // "msgbox", "filedialog", "folder"
    std::u16string text;
    std::u16string caption;
    int style = 0;
    int answer = 0;
  };

  // Queues the answer for the next message box (msgbox::kOk, kYes, kNo, ...).
  virtual void QueueMessageBoxAnswer(int answer) = 0;
  // Nothing cancels the dialog.
  virtual void QueueFileDialogAnswer(std::optional<std::u16string> answer) = 0;
  virtual void QueueFolderAnswer(std::optional<std::u16string> answer) = 0;
  virtual const std::vector<Shown>& History() const = 0;
};

}  // namespace velmaris
