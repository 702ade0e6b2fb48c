#include "host/bridge/system/posix_config_folder.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmaris::host::bridge {

std::string UserConfigFolder() {
  const char* config = getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return config;
  const char* home = getenv("HOME");
  if (!home || !*home) {
    const passwd* entry = getpwuid(getuid());
    home = entry && entry->pw_dir ? entry->pw_dir : "/";
  }
  std::string folder = home;
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + ".config";
}

bool MakeFolders(const std::string& path, std::string& error) {
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty() && part.back() != '/') {
      if (mkdir(part.c_str(), 0700) != 0) {
        const int code = errno;
        struct stat info;
        if (code != EEXIST || stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
          error = "无法创建文件夹“" + part + "”：" + ErrnoText(code == EEXIST ? ENOTDIR : code);
          return false;
        }
      }
    }
    if (end == std::string::npos) return true;
  }
}

std::string ErrnoText(int code) {
  char buffer[256];
  // The GNU variant returns the text, which need not be in the buffer.
  return strerror_r(code, buffer, sizeof buffer);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

}  // namespace velmaris::host::bridge
