// The Ui services without a screen. A message box nobody answered takes its first button; a dialog
// nobody answered is cancelled.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace velmaris {

class HeadlessUi : public AnsweredUi {
 public:
  int MessageBox(const std::u16string& text, int style, const std::u16string& caption) override;
  std::optional<std::u16string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::u16string> BrowseForFolder(const std::u16string& title) override;

  void QueueMessageBoxAnswer(int answer) override { m_box_answers.push_back(answer); }
  void QueueFileDialogAnswer(std::optional<std::u16string> answer) override {
    m_file_answers.push_back(std::move(answer));
  }
  void QueueFolderAnswer(std::optional<std::u16string> answer) override {
    m_folder_answers.push_back(std::move(answer));
  }

  const std::vector<Shown>& History() const override { return m_history; }
  void ClearHistory() { m_history.clear(); }

 private:
  std::deque<int> m_box_answers;
  std::deque<std::optional<std::u16string>> m_file_answers;
  std::deque<std::optional<std::u16string>> m_folder_answers;
  std::vector<Shown> m_history;
};

// The first button of a message box style (what Enter would press).
int FirstButton(int style);

}  // namespace velmaris
