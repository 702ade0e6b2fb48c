#include "host/page_files.h"

#include <fstream>
#include <iterator>

namespace velmaris::host {

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<std::string> ReadScriptSource(const std::filesystem::path& path) {
  auto source = ReadFileBytes(path);
  if (source && source->starts_with("\xEF\xBB\xBF")) source->erase(0, 3);
  return source;
}

bool WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::error_code error;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool RemoveRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error)) &&
         std::filesystem::remove(path, error);
}

}  // namespace velmaris::host
