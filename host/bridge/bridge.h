// velmaris bridge: the host for pages in any browser. The network runs on a thread of its own;
// every call on a control runs on this (the controls') thread, inside the library's message loop,
// as a page's script calls do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/bridge/calls.h"

namespace velmaris::host::bridge {

inline constexpr uint16_t kDefaultPort = 9120;
inline constexpr size_t kConnectionsPerOrigin = 16;

struct BridgeOptions {
  enum class Action { kServe, kInstall, kUninstall };
  Action action = Action::kServe;
  uint16_t port = kDefaultPort;
  std::vector<std::string> allow;  // origins allowed on the command line
  bool answer_dialogs = false;     // tests: the pages answer boxes and dialogs
};

// Reads the arguments after `bridge`; nothing, with the reason, for a bad one.
std::optional<BridgeOptions> ParseBridgeOptions(const std::vector<std::string>& args,
                                                std::string& error);

// What the system under the bridge gives it.
struct BridgeSystem {
  const ComApi* services = nullptr;  // the host services of the controls' library
  Calls::Make make;                  // makes a control by ProgID
  std::string program;               // this executable, for the login entry
  // Whether a connection whose process the system cannot name is served. Linux names every
  // loopback socket's owner; Wine names none.
  bool serve_unknown_peers = false;
};

// Serves until the process is told to stop (SIGINT, SIGTERM; Ctrl+C or the session's end on
// Windows), or installs or removes the login entry. The process's exit status.
int RunBridge(const BridgeOptions& options, BridgeSystem& system);

}  // namespace velmaris::host::bridge
