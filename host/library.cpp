#include "host/library.h"

#include <dlfcn.h>

#include <filesystem>
#include <vector>

#include "host/entry_points.h"

namespace velmaris::host {

namespace {

void* FindSymbol(void* module, const char* name) {
  return dlsym(module, name);
}

}  // namespace

std::unique_ptr<Library> Library::Open(const std::string& path, std::string& error) {
  error.clear();
  // A name without a folder would be looked for along the library path, a relative one in the
  // current folder: either could load whatever lies there.
  if (!std::filesystem::path(path).is_absolute()) {
    error = "库的路径不是绝对路径：" + path;
    return nullptr;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason ? reason : "cannot load " + path;
    return nullptr;
  }
  std::unique_ptr<Library> library(new Library(handle, path));
  std::string missing;
  if (!ResolveEntryPoints(handle, FindSymbol, library->m_api, missing)) {
    error = path + ": missing entry point " + missing;
    return nullptr;  // the destructor asks DllCanUnloadNow only when it was found
  }
  return library;
}

Library::~Library() {
  // A library that still has live objects or locks must stay mapped: its code may yet run.
  if (m_api.can_unload_now == nullptr || CanUnload()) dlclose(m_handle);
}

bool Library::CanUnload() const {
  return host::CanUnload(m_api);
}

Library* LibrarySet::Get(const std::string& path, std::string& error) {
  if (auto found = m_libraries.find(path); found != m_libraries.end()) return found->second.get();
  auto library = Library::Open(path, error);
  if (!library) return nullptr;
  Library* raw = library.get();
  m_libraries.emplace(path, std::move(library));
  if (m_first == nullptr) m_first = raw;
  return raw;
}

Library* LibrarySet::First() const {
  return m_first;
}

std::vector<std::string> LibrarySet::UnloadAll() {
  std::vector<std::string> busy;
  for (const auto& [path, library] : m_libraries) {
    if (!library->CanUnload()) busy.push_back(path);
  }
  m_libraries.clear();
  m_first = nullptr;
  return busy;
}

std::string DefaultLibraryPath() {
  std::error_code error;
  auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  // Without the host's own place there is no library beside it (Library::Open refuses this).
  if (error || !self.is_absolute()) return {};
  // In the build tree the library sits beside the host; installed, it is in the library folder
  // of the same prefix.
  auto beside = self.parent_path() / "libVelmarisClient.so";
  if (std::filesystem::exists(beside, error)) return beside.string();
  auto installed = (self.parent_path() / VELMARIS_LIBDIR_FROM_BINDIR / "libVelmarisClient.so")
                       .lexically_normal();
  return std::filesystem::exists(installed, error) ? installed.string() : beside.string();
}

}  // namespace velmaris::host
