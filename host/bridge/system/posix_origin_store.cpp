// The lists are text files: `allowed-origins` and `refused-origins` in the user's configuration
// folder (velmaris/ below it) and in the machine's (/etc/velmaris, or $VELMARIS_MACHINE_CONFIG).
#include "host/bridge/system/origin_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "host/bridge/system/posix_config_folder.h"

namespace velmaris::host::bridge {
namespace {

// More than any list a person keeps; a larger file is read only this far.
constexpr size_t kMostBytes = 1 << 20;

std::string UserFolder() {
  return UserConfigFolder() + "/velmaris";
}

std::string MachineFolder() {
  const char* folder = getenv("VELMARIS_MACHINE_CONFIG");
  return folder && *folder ? folder : "/etc/velmaris";
}

const char* FileName(bool allowed) {
  return allowed ? "/allowed-origins" : "/refused-origins";
}

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string ReadAll(int fd) {
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < kMostBytes) {
    const ssize_t got = pread(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

// Appends the file's origins to `list`, skipping those already on it.
void ParseList(std::string_view bytes, std::vector<std::string>& list) {
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    const std::string_view line = Trim(bytes.substr(0, end));
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (std::find(list.begin(), list.end(), line) == list.end()) list.emplace_back(line);
  }
}

void ReadList(const std::string& path, std::vector<std::string>& list) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ParseList(ReadAll(fd), list);
  close(fd);
}

}  // namespace

OriginLists ReadOriginLists() {
  OriginLists lists;
  for (const std::string& folder : {UserFolder(), MachineFolder()}) {
    ReadList(folder + FileName(true), lists.allowed);
    ReadList(folder + FileName(false), lists.refused);
  }
  return lists;
}

bool RememberOrigin(const std::string& origin, bool allowed, std::string& error) {
  const std::string_view entry = Trim(origin);
  // One line each: a line break would add a second origin nobody chose.
  if (entry.empty() || entry.front() == '#' || entry.find_first_of("\r\n") != entry.npos) {
    error = "无效的网站来源“" + origin + "”";
    return false;
  }
  const std::string folder = UserFolder();
  if (!MakeFolders(folder, error)) return false;
  const std::string path = folder + FileName(allowed);
  // Not through a link someone else may have put there.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "无法写入网站列表“" + path + "”：" + ErrnoText(errno);
    return false;
  }
  // Another bridge writing the same list waits for this one.
  while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  const std::string bytes = ReadAll(fd);
  std::vector<std::string> listed;
  ParseList(bytes, listed);
  bool written = true;
  if (std::find(listed.begin(), listed.end(), entry) == listed.end()) {
    std::string line = bytes.empty() || bytes.back() == '\n' ? "" : "\n";
    line.append(entry).push_back('\n');
    written = WriteAll(fd, line);
  }
  const int code = errno;
  close(fd);
  if (!written) {
    error = "无法写入网站列表“" + path + "”：" + ErrnoText(code);
    return false;
  }
  return true;
}

}  // namespace velmaris::host::bridge
