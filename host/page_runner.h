// Runs one page script with the page's globals: ActiveXObject, print and host.
#pragma once

#include <duktape.h>

#include <string>
#include <vector>

namespace velmaris::host {

struct PageOptions {
  std::string page;               // the script file
  std::vector<std::string> args;  // host.args
  // When set, a library still in use after the page ended (a reference never released) makes
  // the run fail.
  bool require_unload = false;
  // Shows each control the page makes in a window of its own; the run then ends once the script
  // has ended and the page's last window is closed (at once after an uncaught error).
  bool gui = false;
};

// 0 when the script ran to its end; 1 after an uncaught error (reported on stderr as
// "错误 <number>: <description>") or when --gui finds no screen; 3 when `require_unload` found a
// library still in use.
int RunPage(const PageOptions& options);

// Prints the error on top of the stack as "错误 <number>: <description>" (and where it was
// thrown) on stderr, leaving it there.
void ReportUncaught(duk_context* ctx);

}  // namespace velmaris::host
