// `new ActiveXObject(progid)`: the class registry names the library and class, the library's
// class factory makes the object, and the page gets it through its dispatch interface only.
#pragma once

#include <duktape.h>

namespace velmaris::host {

// Defines the global ActiveXObject constructor.
void DefineActiveXObject(duk_context* ctx);

}  // namespace velmaris::host
