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

class Calls {
 public:
  using Make = std::function<std::variant<MadeControl, ScriptError>(std::string_view progid)>;

  // `tester` is the page that may answer boxes and drive forms ("host" and "form" requests);
  // null refuses those requests.
  Calls(Make make, HostPage* tester);
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

  Make m_make;
  HostPage* m_tester;
  std::unique_ptr<Holdings> m_held;

  // The fields of the reply to a good request; a failure is thrown.
  nlohmann::json Run(ConnectionId connection, const nlohmann::json& request);
};

}  // namespace velmaris::host::bridge
