// The client scripts the bridge serves, built into the program from velmaris.js and velmaris.mjs
// beside this file (they are also installed, for sites that host them themselves).
#pragma once

#include <string>

namespace velmaris::host::bridge {

// The classic script, which defines `Velmaris`.
std::string ClientScript();
// The same as an ES module.
std::string ClientModule();

}  // namespace velmaris::host::bridge
