// velmaris-idl [output]: writes the type library's IDL text to `output`, or to standard output.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "server/idl.h"

int main(int argc, char** argv) {
  std::string text = velmaris::server::TypeLibraryText();
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
