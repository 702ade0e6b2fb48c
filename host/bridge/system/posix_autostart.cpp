#include "host/bridge/system/autostart.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "host/bridge/system/posix_config_folder.h"

namespace velmaris::host::bridge {
namespace {

std::string AutostartFolder() {
  return UserConfigFolder() + "/autostart";
}

// One argument of an Exec key. Quoted always, with `"`, `` ` ``, `$` and `\` escaped by a
// backslash and `%` doubled (field codes); then the key file's own string escapes apply on top,
// so each of those backslashes is written twice, as the entry format asks for an unambiguous
// file.
std::string ExecArgument(std::string_view argument) {
  std::string quoted = "\"";
  for (const char c : argument) {
    switch (c) {
      case '"':
      case '`':
      case '$':
        quoted += "\\\\";
        quoted += c;
        break;
      case '\\':
        quoted += "\\\\\\\\";
        break;
      case '%':
        quoted += "%%";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + '"';
}

std::string DesktopEntry(const std::string& program, const std::vector<std::string>& arguments) {
  std::string exec = ExecArgument(program);
  for (const auto& argument : arguments) exec += ' ' + ExecArgument(argument);
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Velmaris bridge\n"
         "Name[zh_CN]=上传和导入控件桥接程序\n"
         "Comment=Lets web pages use the upload and import controls\n"
         "Comment[zh_CN]=让网页使用上传和导入控件\n"
         "Exec=" +
         exec +
         "\n"
         "Terminal=false\n"
         "NoDisplay=true\n"
         "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace

std::string AutostartLocation() {
  return AutostartFolder() + "/velmaris-bridge.desktop";
}

bool InstallAutostart(const std::string& program, const std::vector<std::string>& arguments,
                      std::string& error) {
  const std::string folder = AutostartFolder();
  if (!MakeFolders(folder, error)) return false;
  const std::string path = AutostartLocation();
  // Written beside it and renamed over it, so a session that starts meanwhile reads either entry
  // whole; the name does not end in .desktop, so no session takes it for one.
  std::string temporary = folder + "/.velmaris-bridge.XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "无法在“" + folder + "”中创建文件：" + ErrnoText(errno);
    return false;
  }
  bool done =
      fchmod(fd, 0644) == 0 && WriteAll(fd, DesktopEntry(program, arguments)) && fsync(fd) == 0;
  int code = errno;
  if (close(fd) != 0 && done) {
    code = errno;
    done = false;
  }
  if (done && rename(temporary.c_str(), path.c_str()) != 0) {
    code = errno;
    done = false;
  }
  if (!done) {
    unlink(temporary.c_str());
    error = "无法写入自动启动项“" + path + "”：" + ErrnoText(code);
  }
  return done;
}

bool UninstallAutostart(std::string& error) {
  const std::string path = AutostartLocation();
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  error = "无法删除自动启动项“" + path + "”：" + ErrnoText(errno);
  return false;
}

}  // namespace velmaris::host::bridge
