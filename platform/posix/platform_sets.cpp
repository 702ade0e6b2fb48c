// The sets on POSIX systems. The modules are opened with dlopen and never closed: objects they
// made may live until the process ends.
#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <string>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/headless/headless_ui.h"
#include "platform/platform_set.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"

namespace velmaris {

namespace {

// The folder of the library (or program) this code was linked into.
std::filesystem::path OwnFolder() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&OwnFolder), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) != 0 &&
      map != nullptr && map->l_name != nullptr && *map->l_name != '\0') {
    return std::filesystem::absolute(map->l_name).parent_path();
  }
  // The program itself has no name in the link map.
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

struct Module {
  std::filesystem::path path;
  void* entry = nullptr;
  bool found = false;  // the file is there (its loading may still fail)
  std::string error;   // why there is no entry
};

Module OpenModule(const char* file, const char* entry) {
  Module module;
  module.path = OwnFolder() / file;
  std::error_code error;
  // Opened by its full path only: a name without a folder would be looked for along the library
  // path, and one relative to the current folder could be anybody's.
  module.found = module.path.is_absolute() && std::filesystem::exists(module.path, error);
  if (!module.found) return module;
  // Everything it needs is bound now, so a missing library shows here and not in a later call.
  void* handle = dlopen(module.path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) module.entry = dlsym(handle, entry);
  if (module.entry == nullptr) {
    const char* reason = dlerror();
    module.error = reason != nullptr ? reason : entry;
  }
  return module;
}

// The office applications from the office module; raises "can't create object" naming what is
// missing: the module, or the office's own libraries that it needs.
std::unique_ptr<OfficeAutomation> LoadOffice() {
  constexpr char16_t kCannotCreate[] = u"ActiveX 部件不能创建对象：";
  const Module module = OpenModule(kOfficeModuleFile, "VelmarisOfficeModule");
  const std::u16string path = codepage::FromUtf8(module.path.string());
  if (!module.found) {
    Raise(office::kErrCannotCreateObject, kLibrarySource,
          kCannotCreate + (u"找不到 Office 模块 " + path));
  }
  if (module.entry == nullptr) {
    Raise(office::kErrCannotCreateObject, kLibrarySource,
          kCannotCreate + (u"Office 模块 " + path + u" 无法载入，LibreOffice 没有安装或不完整（" +
                           codepage::FromUtf8(module.error) + u"）"));
  }
  return std::unique_ptr<OfficeAutomation>(
      reinterpret_cast<decltype(&VelmarisOfficeModule)>(module.entry)());
}

// What every set has: sockets on its loop, and the office from its module.
void CompleteSet(PlatformSet& set) {
  set.new_socket = [loop = set.loop.get()] { return std::make_unique<PosixSocket>(*loop); };
  set.office = LoadOffice;
}

}  // namespace

PlatformSet MakeHeadlessSet() {
  PlatformSet set;
  set.loop = std::make_unique<PollLoop>();
  auto ui = std::make_unique<HeadlessUi>();
  set.answers = ui.get();
  set.ui = std::move(ui);
  CompleteSet(set);
  return set;
}

PlatformSet MakeStartingSet() {
  return MakeHeadlessSet();
}

ScreenOutcome MakeScreenSet(PlatformSet& set) {
  const Module module = OpenModule(kScreenModuleFile, "VelmarisScreenModule");
  if (module.entry == nullptr) return ScreenOutcome::kNoModule;
  if (!reinterpret_cast<decltype(&VelmarisScreenModule)>(module.entry)(&set)) {
    return ScreenOutcome::kNoDisplay;
  }
  CompleteSet(set);
  return ScreenOutcome::kMade;
}

}  // namespace velmaris
