// Where the office's named pipe lives and whether it is ours. LibreOffice makes a pipe a
// Unix-domain socket in the shared temporary folder, named after the user and the pipe, so anyone
// can put something there first: nothing is sent to a pipe before its owner has been checked, and
// the office's own pipes are named so that nobody can guess them.
#pragma once

#include <filesystem>
#include <string>

namespace velmaris::libreoffice {

enum class PipeState {
  kMissing,  // nothing there: free for an office of ours
  kOurs,     // a socket of this user's
  kForeign,  // anything else: another user's socket, a link, a file, a folder
};

// The socket of the pipe `name` for this user: "OSL_PIPE_<uid>_<name>" in /tmp (in /var/tmp
// where /tmp cannot be written), as the office names it.
std::filesystem::path PipeSocketPath(const std::string& name);

// What sits at `socket`, judged without following a link and without connecting.
PipeState CheckPipe(const std::filesystem::path& socket);

// "velmaris_" and 128 random bits in hexadecimal.
std::string FreshPipeName();

// The office's own pipe for a profile folder, through which a second office started on it hands
// its command line (our pipe's name among it) to the first: "SingleOfficeIPC_" and the MD5 of the
// profile's URL as UTF-16, each byte in hexadecimal without leading zeros.
std::string ProfilePipeName(const std::filesystem::path& profile_dir);

}  // namespace velmaris::libreoffice
