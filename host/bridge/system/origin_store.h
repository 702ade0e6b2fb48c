// The origins whose pages may (or may not) use the bridge without asking the editor again.
#pragma once

#include <string>
#include <vector>

namespace velmaris::host::bridge {

struct OriginLists {
  std::vector<std::string> allowed, refused;
};

// The origins the editor (or an admin) decided on for good: the user's and the machine's lists,
// the user's first, each origin once.
OriginLists ReadOriginLists();

// Adds `origin` to the user's list of allowed (or refused) origins, creating what is missing.
// False, with `error` (text for the editor) filled, when it cannot be written.
bool RememberOrigin(const std::string& origin, bool allowed, std::string& error);

}  // namespace velmaris::host::bridge
