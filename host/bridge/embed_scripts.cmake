# Writes OUTPUT, a C++ source that holds SCRIPT and MODULE as the bridge's client scripts.
file(READ "${SCRIPT}" script)
file(READ "${MODULE}" module)
file(WRITE "${OUTPUT}" "// Made from velmaris.js and velmaris.mjs by embed_scripts.cmake.
#include \"host/bridge/client_scripts.h\"

namespace velmaris::host::bridge {

std::string ClientScript() {
  return R\"velmaris(${script})velmaris\";
}

std::string ClientModule() {
  return R\"velmaris(${module})velmaris\";
}

}  // namespace velmaris::host::bridge
")
