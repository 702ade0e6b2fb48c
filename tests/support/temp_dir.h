// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace velmaris::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  // Writes a file below the folder (creating folders on the way); returns its full path.
  std::filesystem::path Write(const std::string& relative, const std::string& bytes) const;
  std::u16string U16(const std::string& relative = "") const;

 private:
  std::filesystem::path m_path;
};

std::string ReadFile(const std::filesystem::path& path);

// Sets an environment variable for a scope and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  bool m_had = false;
  std::string m_old;
};

}  // namespace velmaris::testing
