// velmaris: the page host.
//   velmaris register [LIB]      records the library's classes in the class registry
//   velmaris unregister [LIB]    removes them
//   velmaris run PAGE.js [--gui] [args...]
//   velmaris bridge [--port N] [--allow ORIGIN]... [--install | --uninstall]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/bridge/bridge.h"
#include "host/library.h"
#include "host/make_control.h"
#include "host/page_runner.h"
#include "host/session.h"

using namespace velmaris;

namespace {

int Usage() {
  std::fputs(
      "usage: velmaris register [LIB]\n"
      "       velmaris unregister [LIB]\n"
      "       velmaris run PAGE.js [--gui] [args...]\n"
      "       velmaris bridge [--port N] [--allow ORIGIN]... [--install | --uninstall]\n",
      stderr);
  return 2;
}

// Loads the library and calls its own registration entry point, which records its classes.
int Register(const char* given, bool unregister) {
  std::error_code error;
  // An absolute path, so the registry names the library wherever the page is started from. Only
  // a path the user typed is taken from the current folder.
  std::string path = given ? std::filesystem::absolute(given, error).lexically_normal().string()
                           : host::DefaultLibraryPath();
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  std::string reason;
  auto library = host::Library::Open(path, reason);
  if (!library) {
    std::fprintf(stderr, "无法加载 %s：%s\n", path.c_str(), reason.c_str());
    return 1;
  }
  const auto& api = library->Api();
  com::HRESULT hr = unregister ? api.unregister_server() : api.register_server();
  if (hr < 0) {
    std::fprintf(stderr, "%s 中的 %s 失败，错误代码 0x%08X。\n", path.c_str(), entry,
                 static_cast<unsigned>(hr));
    return 1;
  }
  std::printf("%s 中的 %s 成功。\n", path.c_str(), entry);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 3) return Usage();
  host::PageOptions options;
  options.page = argv[2];
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--gui") == 0) {
      options.gui = true;
      continue;
    }
    options.args.push_back(argv[i]);
  }
  // Tests ask for proof that the page gave back every object it was handed.
  const char* strict = std::getenv("VELMARIS_REQUIRE_UNLOAD");
  options.require_unload = strict && *strict && std::strcmp(strict, "0") != 0;
  return host::RunPage(options);
}

// The bridge on the controls' library: the one registered for the classes, as pages find it.
int Bridge(int argc, char** argv) {
  std::string error;
  auto options =
      host::bridge::ParseBridgeOptions(std::vector<std::string>(argv + 2, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "velmaris bridge: %s\n", error.c_str());
    return Usage();
  }
  host::PageSession session;
  host::bridge::BridgeSystem system;
  std::error_code unknown;
  system.program = std::filesystem::read_symlink("/proc/self/exe", unknown).string();
  if (options->action == host::bridge::BridgeOptions::Action::kServe) {
    host::Library* library = session.ServiceLibrary(error);
    if (library == nullptr) {
      std::fprintf(stderr, "velmaris bridge: %s\n", error.c_str());
      return 1;
    }
    system.services = &library->Api();
  }
  system.make = [&session](std::string_view progid) {
    return host::MakeControl(session.libraries, progid);
  };
  const int status = host::bridge::RunBridge(*options, system);
  session.libraries.UnloadAll();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "register" || command == "unregister") {
    if (argc > 3) return Usage();
    return Register(argc == 3 ? argv[2] : nullptr, command == "unregister");
  }
  if (command == "run") return Run(argc, argv);
  if (command == "bridge") return Bridge(argc, argv);
  return Usage();
}
