// A page run with --gui: the library's forms on screen, a window for each control the page makes,
// and the run held open until the page's last window is closed.
#pragma once

#include <duktape.h>

#include "host/com_api.h"

namespace velmaris::host {

// Asks the library serving the page to put its forms on screen, before the page makes anything.
// False, with the reason on standard error, when it cannot.
bool StartScreen(duk_context* ctx);

// Shows the form of a control just made in a window of its own. A control without a form (or a
// library without screens) is left as it is.
void ShowForm(com::IDispatch* object, const ComApi& api);

// Runs the library's loop until every window of the page is closed.
void WaitForWindows(duk_context* ctx);

}  // namespace velmaris::host
