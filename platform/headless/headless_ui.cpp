#include "platform/headless/headless_ui.h"

namespace velmaris {

int FirstButton(int style) {
  switch (style & 0x0F) {
    case msgbox::kOkOnly:
    case msgbox::kOkCancel:
      return msgbox::kOk;
    case msgbox::kAbortRetryIgnore:
      return msgbox::kAbort;
    case msgbox::kYesNoCancel:
    case msgbox::kYesNo:
      return msgbox::kYes;
    case msgbox::kRetryCancel:
      return msgbox::kRetry;
  }
  return msgbox::kOk;
}

int HeadlessUi::MessageBox(const std::u16string& text, int style, const std::u16string& caption) {
  int answer = FirstButton(style);
  if (!m_box_answers.empty()) {
    answer = m_box_answers.front();
    m_box_answers.pop_front();
  }
  m_history.push_back({u"msgbox", text, caption, style, answer});
  return answer;
}

std::optional<std::u16string> HeadlessUi::OpenFileDialog(const FileDialogRequest& request) {
  std::optional<std::u16string> answer;
  if (!m_file_answers.empty()) {
    answer = std::move(m_file_answers.front());
    m_file_answers.pop_front();
  }
  m_history.push_back({u"filedialog", request.filter, request.title, 0, answer ? 1 : 0});
  return answer;
}

std::optional<std::u16string> HeadlessUi::BrowseForFolder(const std::u16string& title) {
  std::optional<std::u16string> answer;
  if (!m_folder_answers.empty()) {
    answer = std::move(m_folder_answers.front());
    m_folder_answers.pop_front();
  }
  m_history.push_back({u"folder", answer.value_or(u""), title, 0, answer ? 1 : 0});
  return answer;
}

}  // namespace velmaris
