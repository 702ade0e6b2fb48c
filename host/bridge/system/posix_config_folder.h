// The user's configuration folder and the creation of folders below it, shared by the origin
// lists and the autostart entry.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::host::bridge {

// $XDG_CONFIG_HOME when it is an absolute path, otherwise $HOME/.config (the password
// database's home folder when HOME is unset).
std::string UserConfigFolder();

// Creates `path` and whatever of it is missing, each new folder 0700 (private to the user).
// False with `error` (for the editor) when a part cannot be made or is not a folder.
bool MakeFolders(const std::string& path, std::string& error);

// Writes all of `bytes` to `fd`; false when the system refuses some.
bool WriteAll(int fd, std::string_view bytes);

// The system's description of errno `code`, for the texts above.
std::string ErrnoText(int code);

}  // namespace velmaris::host::bridge
