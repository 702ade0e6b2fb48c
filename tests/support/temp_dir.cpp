#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "base/codepage.h"

namespace velmaris::testing {

TempDir::TempDir() {
  // Not under TEMP: tests point TEMP at folders of their own.
  const char* base = getenv("TMPDIR");
#ifdef _WIN32
  // No mkdtemp: six random letters or digits as it gives (some expected progress counts the
  // bytes of a path), in a folder taken only when it is new.
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  std::uniform_int_distribution<size_t> letter(0, sizeof kLetters - 2);
  const auto folder = base && *base ? Utf8Path(base) : std::filesystem::temp_directory_path();
  do {
    std::string name = "velmaris-test-";
    for (int i = 0; i < 6; ++i) name += kLetters[letter(random)];
    m_path = folder / name;
  } while (!std::filesystem::create_directory(m_path));
#else
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/velmaris-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
#endif
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path TempDir::Write(const std::string& relative, const std::string& bytes) const {
  auto path = m_path / Utf8Path(relative);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return path;
}

std::u16string TempDir::U16(const std::string& relative) const {
  auto path = relative.empty() ? m_path : m_path / Utf8Path(relative);
  return codepage::FromUtf8(path.make_preferred().string());
}

std::filesystem::path Utf8Path(const std::string& utf8) {
#ifdef _WIN32
  // A narrow path is not taken as UTF-8 here.
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return utf8;
#endif
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

// A variable's value, and setting or (null) removing one: on Windows in the wide-character
// environment, which the product reads, in UTF-8 here.
bool GetEnv(const std::string& name, std::string& value) {
#ifdef _WIN32
  const wchar_t* found = _wgetenv(Utf8Path(name).c_str());
  if (found) value = std::filesystem::path(found).string();
#else
  const char* found = getenv(name.c_str());
  if (found) value = found;
#endif
  return found != nullptr;
}

void SetEnv(const std::string& name, const char* value) {
#ifdef _WIN32
  _wputenv_s(Utf8Path(name).c_str(), value ? Utf8Path(value).c_str() : L"");
#else
  if (value) {
    setenv(name.c_str(), value, 1);
  } else {
    unsetenv(name.c_str());
  }
#endif
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  m_had = GetEnv(m_name, m_old);
  SetEnv(m_name, value);
}

ScopedEnv::~ScopedEnv() {
  SetEnv(m_name, m_had ? m_old.c_str() : nullptr);
}

}  // namespace velmaris::testing
