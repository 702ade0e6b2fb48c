// trust_authority.exe PEM COMMAND...: runs COMMAND (a Windows command line) with the authority in
// PEM trusted by this user, and takes it away again; exits with the command's status. The page
// runner wraps an HTTPS page in it under Wine.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/windows/trusted_authorities.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: trust_authority PEM COMMAND...\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TrustedAuthorities trusted;
  if (pem.empty() || !trusted.Add(pem)) {
    std::fprintf(stderr, "trust_authority: cannot trust the authority\n");
    return 2;
  }
  std::wstring command;
  for (int i = 2; i < argc; ++i) {
    if (!command.empty()) command += L' ';
    command += L'"' + std::wstring(argv[i]) + L'"';
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "trust_authority: cannot start the command\n");
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
