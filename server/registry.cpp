#include "server/registry.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmaris::registry {

std::string RegistryPath() {
  if (const char* path = std::getenv("VELMARIS_REGISTRY"); path && *path) return path;
  std::string base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  return base + "/velmaris/classes.reg";
}

std::vector<ClassEntry> ReadAll() {
  std::vector<ClassEntry> entries;
  std::ifstream in(RegistryPath());
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ClassEntry entry;
    if (std::getline(fields, entry.clsid, '\t') && std::getline(fields, entry.progid, '\t') &&
        std::getline(fields, entry.library)) {
      entries.push_back(entry);
    }
  }
  return entries;
}

namespace {

// Writes the whole file anew through a temporary name, so readers never see half of it.
bool WriteAll(const std::vector<ClassEntry>& entries) {
  std::filesystem::path path = RegistryPath();
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::string temporary = path.string() + ".tmp." + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const auto& entry : entries) {
      out << entry.clsid << '\t' << entry.progid << '\t' << entry.library << '\n';
    }
    if (!out) return false;
  }
  std::filesystem::rename(temporary, path, error);
  return !error;
}

}  // namespace

bool Register(const std::vector<ClassEntry>& entries) {
  auto all = ReadAll();
  for (const auto& entry : entries) {
    std::erase_if(all, [&](const ClassEntry& old) { return old.clsid == entry.clsid; });
    all.push_back(entry);
  }
  return WriteAll(all);
}

bool Unregister(const std::vector<std::string>& clsids) {
  auto all = ReadAll();
  std::erase_if(all, [&](const ClassEntry& old) {
    return std::find(clsids.begin(), clsids.end(), old.clsid) != clsids.end();
  });
  return WriteAll(all);
}

std::optional<ClassEntry> FindProgId(const std::string& progid) {
  auto lower = [](std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  for (const auto& entry : ReadAll()) {
    if (lower(entry.progid) == lower(progid)) return entry;
  }
  return std::nullopt;
}

std::string GuidText(const com::GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

std::optional<com::GUID> ParseGuid(const std::string& text) {
  com::GUID guid{};
  unsigned int d[11];
  if (text.size() != 38 ||
      std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2],
                  &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]) != 11) {
    return std::nullopt;
  }
  guid.Data1 = d[0];
  guid.Data2 = static_cast<uint16_t>(d[1]);
  guid.Data3 = static_cast<uint16_t>(d[2]);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(d[3 + i]);
  return guid;
}

}  // namespace velmaris::registry
