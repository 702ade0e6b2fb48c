// The type library as IDL text, generated from the dispatch and class tables.
#pragma once

#include <string>

namespace velmaris::server {

std::string TypeLibraryText();

}  // namespace velmaris::server
