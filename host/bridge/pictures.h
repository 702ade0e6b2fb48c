// The pictures a form shows, handed to the page by one-time addresses: the page never names a path,
// and an address serves once, to the origin of the connection it was made for.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "host/bridge/calls.h"

namespace velmaris::host::bridge {

class PictureAddresses {
 public:
  // "/picture/TOKEN" for the picture at `path`, shown to `connection`.
  std::string Make(const std::u16string& path, ConnectionId connection);
  struct Picture {
    std::u16string path;
    ConnectionId connection = 0;
  };
  // The picture behind "/picture/TOKEN" and the connection it was made for, once.
  std::optional<Picture> Take(std::string_view target);
  // Forgets the addresses made for a connection that ended.
  void Forget(ConnectionId connection);

 private:
  std::mutex m_mutex;
  std::map<std::string, Picture> m_by_token;
};

// The bytes and content type of a picture file; nothing when it cannot be read.
struct PictureFile {
  std::string content_type;
  std::string bytes;
};
std::optional<PictureFile> ReadPicture(const std::u16string& path);

}  // namespace velmaris::host::bridge
