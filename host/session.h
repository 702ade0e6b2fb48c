// What one running page owns beside its script engine.
#pragma once

#include <duktape.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/library.h"

namespace velmaris::host {

struct PageSession {
  LibrarySet libraries;
  std::vector<std::string> args;  // UTF-8, after the page's name on the command line
  std::filesystem::path folder;   // where the page is; relative includes start here
  bool later_failed = false;      // a host.later callback ended in an uncaught error
  bool gui = false;               // every control's form is shown in a window of its own
};

void AttachSession(duk_context* ctx, PageSession* session);
PageSession& SessionOf(duk_context* ctx);

// The library serving the host services: the first one a page loaded, else the one registered
// for the first class, else the one beside the host. Null (with `error`) when none loads.
Library* ServiceLibrary(duk_context* ctx, std::string& error);

}  // namespace velmaris::host
