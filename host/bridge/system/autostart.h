// Starting the bridge when the user logs in.
#pragma once

#include <string>
#include <vector>

namespace velmaris::host::bridge {

// Starts `program` with `arguments` when the user logs in: an XDG autostart entry on Linux
// ($XDG_CONFIG_HOME/autostart/velmaris-bridge.desktop), the value "VelmarisBridge" of
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run on Windows. False with `error`
// (text for the editor) when it cannot be written.
bool InstallAutostart(const std::string& program, const std::vector<std::string>& arguments,
                      std::string& error);
// Removes it; true also when there was none.
bool UninstallAutostart(std::string& error);
// Where the entry lives (the file, or the registry key and value name), for messages.
std::string AutostartLocation();

}  // namespace velmaris::host::bridge
