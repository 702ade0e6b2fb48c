// Making a control by ProgID as a browser does: the class registry names the library and class,
// the library's class factory makes the object, and the object must agree to be scripted.
#pragma once

#include <string_view>
#include <variant>

#include "host/com_api.h"
#include "host/errors.h"
#include "host/library.h"
#include "host/made_control.h"

namespace velmaris::host {

// The control, or the error a script gets: 429 for a ProgID nobody registered, a library that
// does not load or a control that refuses scripting; a failing factory's own error otherwise.
std::variant<MadeControl, ScriptError> MakeControl(LibrarySet& libraries, std::string_view progid);

}  // namespace velmaris::host
