// The per-user class registry: the stand-in for the system registry, where registration records
// which library serves each class. One class a line, UTF-8, fields separated by tabs:
//   {CLSID}<TAB>ProgID<TAB>library path
// The file is $VELMARIS_REGISTRY when set, else $XDG_CONFIG_HOME/velmaris/classes.reg, else
// $HOME/.config/velmaris/classes.reg.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "server/com.h"

namespace velmaris::registry {

struct ClassEntry {
  std::string clsid;  // brace text, upper case
  std::string progid;
  std::string library;
};

std::string RegistryPath();
std::vector<ClassEntry> ReadAll();
// Adds or replaces (by CLSID) the given classes. Returns false when the file cannot be written.
bool Register(const std::vector<ClassEntry>& entries);
// Removes the given CLSIDs. Returns false when the file cannot be written.
bool Unregister(const std::vector<std::string>& clsids);
// The class registered under a ProgID (compared without regard to case).
std::optional<ClassEntry> FindProgId(const std::string& progid);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, and back.
std::string GuidText(const com::GUID& guid);
std::optional<com::GUID> ParseGuid(const std::string& text);

}  // namespace velmaris::registry
