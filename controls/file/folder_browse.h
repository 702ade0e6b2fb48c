// The folder picker the MultiUpload control uses: asks the Ui's folder picker for a folder and
// hands back its path ending in "\", the form the folder walk builds on.
#pragma once

#include <string>

#include "platform/ui.h"

namespace velmaris::ModFolder_Browse {

// Shows the folder picker (no title of its own) and returns the chosen folder's path ending in
// "\"; empty when the user cancels or picks something that has no path on disk.
std::u16string BrowseForFolder(Ui& ui);

// `path` with "\" appended unless it already ends in "\". Other separators do not count: the
// walk appends names after a "\" (which the file-system layer reads as a separator anyway).
std::u16string AddTrailingBackslash(const std::u16string& path);

}  // namespace velmaris::ModFolder_Browse
