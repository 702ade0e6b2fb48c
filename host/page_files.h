// The files a page reads, includes, writes and takes away through `host`, the same on every
// system's host. Paths are the system's own; contents are bytes (UTF-8 for text).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmaris::host {

// The file's bytes; nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path);

// A script's source: its bytes without a leading byte-order mark; nothing when it cannot be read.
std::optional<std::string> ReadScriptSource(const std::filesystem::path& path);

// Writes `bytes` as the whole file, making the folders above it; false when it could not be
// written.
bool WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

// Takes away a file; false when there is no file by that name. Files only: a page takes away what
// it wrote, never a folder with what is in it.
bool RemoveRegularFile(const std::filesystem::path& path);

}  // namespace velmaris::host
