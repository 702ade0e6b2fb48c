// Loading the control library the way a classic host does: by path, through its exported C entry
// points only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/com_api.h"

namespace velmaris::host {

class Library {
 public:
  // Loads the library at the absolute `path` and resolves every entry point. Returns null and
  // fills `error` when the path is not absolute, or the file cannot be loaded or lacks an entry
  // point.
  static std::unique_ptr<Library> Open(const std::string& path, std::string& error);
  // Unloads only when the library says nothing of it is still in use.
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  const ComApi& Api() const { return m_api; }
  const std::string& Path() const { return m_path; }
  // True when DllCanUnloadNow answers S_OK.
  bool CanUnload() const;

 private:
  Library(void* handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}

  void* m_handle;
  std::string m_path;
  ComApi m_api;
};

// The libraries a page has loaded, one per path, kept until the page ends.
class LibrarySet {
 public:
  // The library at `path`, loaded on first use; null with `error` filled when it cannot be.
  Library* Get(const std::string& path, std::string& error);
  // Any library loaded so far, for the host services; null when none is.
  Library* First() const;
  // Unloads every library that agrees to it; returns the paths of those still in use.
  std::vector<std::string> UnloadAll();

 private:
  std::map<std::string, std::unique_ptr<Library>> m_libraries;
  Library* m_first = nullptr;
};

// libVelmarisClient.so beside the running executable, else in the installed library folder;
// empty when the executable's own folder is unknown.
std::string DefaultLibraryPath();

}  // namespace velmaris::host
