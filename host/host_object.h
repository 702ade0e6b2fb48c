// The `host` object: what a page needs to drive controls without a person at the screen.
//   host.form(ctrl)             .get(name) .children() .click(name) .setText(name, text)
//                               .select(name, index) .toggle(name, index) .check(name, on)
//                               .drop(name, [paths]) .hover(name, index)
//   host.answerMessageBox(a)    "ok" | "cancel" | "abort" | "retry" | "ignore" | "yes" | "no"
//   host.answerFileDialog(t)    one path, or a folder and names separated by "\0"; null cancels
//   host.answerFolder(path)     null cancels
//   host.messages               every message box and dialog shown so far
//   host.pump(ms)               runs the message loop for that long
//   host.args, host.env(name), host.include(path), host.readFile(path), host.writeFile(path, text)
//   host.removeFile(path)       deletes a file (a listed file that vanishes before it is sent)
//   host.screenshot(ctrl, path) a PNG of the control's form as it is now (with --gui only)
//   host.closeForm(ctrl)        closes the control's window as its close button would (--gui)
#pragma once

#include <duktape.h>

namespace velmaris::host {

// Defines the global `host`. The page's session must be attached first.
void DefineHost(duk_context* ctx);
// Forgets the page's host.later callbacks that have not run: once its page has ended, a callback
// the loop still holds runs nothing.
void ForgetLaterCalls(duk_context* ctx);

}  // namespace velmaris::host
