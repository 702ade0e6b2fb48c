#include "controls/file/folder_browse.h"

#include <optional>

namespace velmaris::ModFolder_Browse {

std::u16string BrowseForFolder(Ui& ui) {
  std::optional<std::u16string> chosen = ui.BrowseForFolder(u"");
  if (!chosen) return {};
  // A picker answers with a zero-terminated buffer on some platforms: the path ends there.
  std::u16string path = chosen->substr(0, chosen->find(u'\0'));
  if (path.empty()) return {};
  return AddTrailingBackslash(path);
}

std::u16string AddTrailingBackslash(const std::u16string& path) {
  if (!path.empty() && path.back() == u'\\') return path;
  return path + u'\\';
}

}  // namespace velmaris::ModFolder_Browse
