#include "host/bridge/pictures.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/filesystem.h"

namespace velmaris::host::bridge {

namespace {

constexpr std::string_view kPrefix = "/picture/";
// A form's preview is a picture; anything far larger is not one the page should get.
constexpr std::uintmax_t kLargestPicture = 64u << 20;

std::string NewToken() {
  static thread_local std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    const uint32_t word = random();
    for (int shift = 0; shift < 32; shift += 4) token += kHex[(word >> shift) & 0xF];
  }
  return token;
}

std::string ContentType(std::string_view bytes) {
  if (bytes.starts_with("\x89PNG")) return "image/png";
  if (bytes.starts_with("\xFF\xD8")) return "image/jpeg";
  if (bytes.starts_with("GIF8")) return "image/gif";
  if (bytes.starts_with("BM")) return "image/bmp";
  return "application/octet-stream";
}

}  // namespace

std::string PictureAddresses::Make(const std::u16string& path, ConnectionId connection) {
  std::lock_guard<std::mutex> hold(m_mutex);
  std::string token = NewToken();
  m_by_token[token] = Picture{path, connection};
  return std::string(kPrefix) + token;
}

std::optional<PictureAddresses::Picture> PictureAddresses::Take(std::string_view target) {
  if (!target.starts_with(kPrefix)) return std::nullopt;
  std::lock_guard<std::mutex> hold(m_mutex);
  auto found = m_by_token.find(std::string(target.substr(kPrefix.size())));
  if (found == m_by_token.end()) return std::nullopt;
  Picture picture = std::move(found->second);
  m_by_token.erase(found);
  return picture;
}

void PictureAddresses::Forget(ConnectionId connection) {
  std::lock_guard<std::mutex> hold(m_mutex);
  std::erase_if(m_by_token,
                [connection](const auto& entry) { return entry.second.connection == connection; });
}

std::optional<PictureFile> ReadPicture(const std::u16string& path) {
  // The path as the controls open it; only a regular file is a picture.
  const std::filesystem::path file = ToNativePath(path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  const auto size = std::filesystem::file_size(file, error);
  if (error || size > kLargestPicture) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  PictureFile picture;
  picture.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  picture.content_type = ContentType(picture.bytes);
  return picture;
}

}  // namespace velmaris::host::bridge
