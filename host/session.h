// What one running page owns beside its script engine.
#pragma once

#include <duktape.h>

#include <string>

#include "host/host_members.h"
#include "host/library.h"

namespace velmaris::host {

struct PageSession final : HostPage {
  // The library serving the host services: the first one the page loaded, else the one
  // registered for the first class, else the one beside the host. Null (with `error`) when none
  // loads.
  Library* ServiceLibrary(std::string& error);

  const ComApi* Services(std::u16string& error) override;
  void WriteLine(bool error_stream, std::u16string_view text) override;

  LibrarySet libraries;
  bool gui = false;  // every control's form is shown in a window of its own
};

void AttachSession(duk_context* ctx, PageSession* session);
PageSession& SessionOf(duk_context* ctx);

}  // namespace velmaris::host
