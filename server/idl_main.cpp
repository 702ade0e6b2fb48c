// velmaris-idl [--widl] [output]: writes the type library's IDL text to `output`, or to standard
// output; with --widl in the dialect Wine's IDL compiler takes.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "server/idl.h"

int main(int argc, char** argv) {
  using velmaris::server::IdlCompiler;
  const bool widl = argc > 1 && std::string(argv[1]) == "--widl";
  if (widl) {
    --argc;
    ++argv;
  }
  std::string text =
      velmaris::server::TypeLibraryText(widl ? IdlCompiler::kWidl : IdlCompiler::kMidl);
  if (argc < 2) {
    std::cout << text;
    return std::cout ? 0 : 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) {
    std::fprintf(stderr, "velmaris-idl: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
