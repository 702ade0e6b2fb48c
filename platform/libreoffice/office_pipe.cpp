#include "platform/libreoffice/office_pipe.h"

#include <openssl/evp.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/codepage.h"
#include "platform/libreoffice/export_layout.h"

namespace velmaris::libreoffice {

std::filesystem::path PipeSocketPath(const std::string& name) {
  const char* folder = access("/tmp", W_OK) == 0 ? "/tmp" : "/var/tmp";
  return std::filesystem::path(folder) / ("OSL_PIPE_" + std::to_string(geteuid()) + "_" + name);
}

PipeState CheckPipe(const std::filesystem::path& socket) {
  struct stat info {};
  if (lstat(socket.c_str(), &info) != 0) {
    return errno == ENOENT ? PipeState::kMissing : PipeState::kForeign;
  }
  // A socket file belongs to whoever bound it, and in the sticky temporary folder only its owner
  // can take its name away: an own socket is an office of ours.
  return S_ISSOCK(info.st_mode) && info.st_uid == geteuid() ? PipeState::kOurs
                                                            : PipeState::kForeign;
}

std::string FreshPipeName() {
  unsigned char bits[16];
  size_t got = 0;
  while (got < sizeof bits) {
    const ssize_t n = getrandom(bits + got, sizeof bits - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
  }
  std::string name = "velmaris_";
  for (unsigned char byte : bits) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    name += hex;
  }
  return name;
}

std::string ProfilePipeName(const std::filesystem::path& profile_dir) {
  const std::u16string url = codepage::FromUtf8(FileUrl(profile_dir));
  std::string bytes;
  for (char16_t unit : url) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  std::string name = "SingleOfficeIPC_";
  for (unsigned int i = 0; i < length; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%x", digest[i]);
    name += hex;
  }
  return name;
}

}  // namespace velmaris::libreoffice
