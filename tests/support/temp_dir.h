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
  // The full path of `relative` as the system writes it.
  std::u16string U16(const std::string& relative = "") const;

 private:
  std::filesystem::path m_path;
};

// The separator the system's own paths are written with.
inline constexpr char16_t kSeparator =
    static_cast<char16_t>(std::filesystem::path::preferred_separator);

// A device that never ends, which only a regular file's reader refuses in time.
#ifdef _WIN32
inline constexpr char16_t kEndlessDevice[] = u"NUL";
#else
inline constexpr char16_t kEndlessDevice[] = u"/dev/zero";
#endif

// A path from UTF-8 text (a narrow path on Windows would be read in the ANSI code page).
std::filesystem::path Utf8Path(const std::string& utf8);
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
