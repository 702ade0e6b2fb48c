// The bridge's requests, answered on the controls' thread: controls made by ProgID, their members
// called by name with JSON values, released. A connection reaches only the controls it made.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json_fwd.hpp>

#include "host/errors.h"
#include "host/host_members.h"
#include "host/made_control.h"

namespace velmaris::host::bridge {

using ConnectionId = uint64_t;

inline constexpr size_t kControlsPerConnection = 64;

class PictureAddresses;

class Calls {
 public:
  using Make = std::function<std::variant<MadeControl, ScriptError>(std::string_view progid)>;
  // Sends a message the page did not ask for (a shown form's changes) on a connection.
  using Push = std::function<void(ConnectionId connection, std::string message)>;

  // `tester` is the page that may answer boxes and drive forms ("host" and "form" requests);
  // null refuses those requests. Shown forms' changes go out through `push`, their pictures by
  // addresses from `pictures`.
  Calls(Make make, HostPage* tester, Push push = nullptr, PictureAddresses* pictures = nullptr);
  ~Calls();
  Calls(const Calls&) = delete;
  Calls& operator=(const Calls&) = delete;

  // The reply to one request of `connection`. A call may run the loop, and other requests
  // (of this connection too) are answered inside it.
  std::string Answer(ConnectionId connection, std::string_view request);
  // Releases every control the connection holds.
  void Drop(ConnectionId connection);
  // How many controls the connection holds.
  size_t Held(ConnectionId connection) const;

 private:
  // The controls each connection made, by their ids.
  struct Holdings;

  // A shown form's link from the library back to its page.
  struct FormFeed;

  Make m_make;
  HostPage* m_tester;
  Push m_push;
  PictureAddresses* m_pictures;
  std::unique_ptr<Holdings> m_held;

  // The fields of the reply to a good request; a failure is thrown.
  nlohmann::json Run(ConnectionId connection, const nlohmann::json& request);
  // A form's states with the pictures' paths replaced by one-time addresses.
  void AddressPictures(ConnectionId connection, nlohmann::json& states) const;
  static void FormChanged(void* feed, const char16_t* json, uint32_t length);
};

}  // namespace velmaris::host::bridge
