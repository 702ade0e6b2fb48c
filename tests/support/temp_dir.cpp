#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/codepage.h"

namespace velmaris::testing {

TempDir::TempDir() {
  // Not under TEMP: tests point TEMP at folders of their own.
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/velmaris-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path TempDir::Write(const std::string& relative, const std::string& bytes) const {
  auto path = m_path / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return path;
}

std::u16string TempDir::U16(const std::string& relative) const {
  return codepage::FromUtf8((relative.empty() ? m_path : m_path / relative).string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  if (const char* old = getenv(name)) {
    m_had = true;
    m_old = old;
  }
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (m_had) {
    setenv(m_name.c_str(), m_old.c_str(), 1);
  } else {
    unsetenv(m_name.c_str());
  }
}

}  // namespace velmaris::testing
