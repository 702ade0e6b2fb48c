// The `host` object and print() on Duktape: the members of host/host_members.h bound to the
// engine's values.
#pragma once

#include <duktape.h>

namespace velmaris::host {

// Defines the global `host` and print(). The page's session must be attached first.
void DefineHost(duk_context* ctx);

}  // namespace velmaris::host
