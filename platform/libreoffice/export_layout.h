// Where saved files end up. The office writes an HTML export's pictures beside the HTML file under
// names of its own; the importers expect them in a picture folder named after the file (its name
// without the extension, plus ".files") and the HTML's references relative to the file's folder.
// So every export is written into a private staging folder first and then put in place: the HTML
// to its target name, every other file into the picture folder, and each reference to such a file
// rewritten to "<picture folder name>/<file name>". Nothing here knows about UNO.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"

namespace velmaris::libreoffice {

// "d/htmlAB12.tmp" gives "d/htmlAB12.files".
std::filesystem::path PictureFolderFor(const std::filesystem::path& file);

// "file://" and the absolute path, percent-encoded as UTF-8 ("/" kept).
std::string FileUrl(const std::filesystem::path& path);
// Percent-encodes every byte outside the URI's unreserved characters; "/" is kept when asked.
std::string PercentEncode(std::string_view utf8, bool keep_slash);

// Every quoted attribute value ("..." or '...') that names one of `names` (as written or
// percent-encoded) becomes `prefix` followed by the name as written. Other text is unchanged.
std::string RewriteReferences(std::string_view html, const std::vector<std::string>& names,
                              std::string_view prefix);

// A fresh folder for one export, next to the file it is for (so that putting the results in
// place is a rename on the same disk); removed with what is left in it.
class StagingFolder {
 public:
  explicit StagingFolder(const std::filesystem::path& target);
  // A fresh folder inside a private folder of the user's, which it keeps open as long as it
  // lives: for files that outlive one export and that no other user may swap.
  explicit StagingFolder(PrivateFolder home);
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::optional<PrivateFolder> m_home;
  std::filesystem::path m_path;
};

// Puts an export in place: `exported` (an HTML file directly in its staging folder) becomes
// `target`; every other file of the staging folder moves into `picture_folder` (created when
// there is one), and the HTML's references to them are rewritten with `prefix`. Raises the file
// system's error when something cannot be moved or written. `adapt`, when given, rewrites the
// HTML as its program would have written it.
using HtmlAdaption = std::string (*)(std::string_view html);
void PlaceExport(const std::filesystem::path& exported, const std::filesystem::path& target,
                 const std::filesystem::path& picture_folder, std::string_view prefix,
                 HtmlAdaption adapt = nullptr);

}  // namespace velmaris::libreoffice
