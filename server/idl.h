// The type library as IDL text, generated from the dispatch and class tables.
#pragma once

#include <string>

namespace velmaris::server {

enum class IdlCompiler {
  kMidl,  // the classic compiler's dialect, as the system's own tools write it
  // widl's: it brings no system IDL files here, so the few types the library names are declared
  // first (widl knows BSTR, VARIANT and VARIANT_BOOL by name), and it refuses `nonextensible` on
  // a dispinterface, which is left out.
  kWidl,
};

std::string TypeLibraryText(IdlCompiler compiler = IdlCompiler::kMidl);

}  // namespace velmaris::server
