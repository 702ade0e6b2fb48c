#include "controls/common/file_list.h"

#include "platform/forms.h"

namespace velmaris {

std::vector<std::u16string> ChosenFiles(const std::u16string& answer) {
  if (answer.find(u'\0') == std::u16string::npos) return {answer};
  std::vector<std::u16string> pieces;
  size_t start = 0;
  for (;;) {
    size_t at = answer.find(u'\0', start);
    pieces.push_back(answer.substr(start, at == std::u16string::npos ? at : at - start));
    if (at == std::u16string::npos) break;
    start = at + 1;
  }
  std::u16string folder = pieces.front();
  const bool posix =
      folder.find(u'/') != std::u16string::npos && folder.find(u'\\') == std::u16string::npos;
  if (folder.empty() || (folder.back() != u'\\' && folder.back() != u'/')) {
    folder += posix ? u'/' : u'\\';
  }
  std::vector<std::u16string> paths;
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (!pieces[i].empty()) paths.push_back(folder + pieces[i]);
  }
  return paths;
}

void ShowEntryTip(FormControl& list, int index) {
  const auto& items = list.Items();
  list.SetToolTip(index >= 0 && index < static_cast<int>(items.size())
                      ? items[static_cast<size_t>(index)]
                      : std::u16string());
}

void RemoveSelectedEntries(FormControl& list) {
  for (int i = static_cast<int>(list.Items().size()) - 1; i >= 0; --i) {
    if (list.Selected(i)) list.RemoveItem(i);
  }
}

}  // namespace velmaris
