#include "host/win32/host_dispatch.h"

namespace velmaris::host::win32 {

const wchar_t kNativeName[] = L"velmarisNative";

// The page's `host` object and print(), as the Linux host defines them, over the native object:
// JSON answers decoded, arguments converted as the Linux host converts them.
const wchar_t kPrelude[] =
    LR"js(
var host, print;
(function (native) {
  print = function () {
    native.print(Array.prototype.join.call(arguments, " "));
  };
  function form(control) {
    native.formCheck(control);
    function act(action, convert) {
      return function (name, argument) {
        if (convert) {
          native.formAct(control, String(name), action, convert(argument));
        } else {
          native.formAct(control, String(name), action);
        }
      };
    }
    function index(i) { return i | 0; }
    return {
      get: function (name) { return JSON.parse(native.formGet(control, String(name))); },
      children: function () { return JSON.parse(native.formChildren(control)); },
      click: act("click"),
      setText: act("setText", String),
      select: act("select", index),
      toggle: act("toggle", index),
      hover: act("hover", index),
      check: act("check", function (on) { return on ? 1 : 0; }),
      drop: act("drop", function (paths) {
        // The library takes the dropped paths as a JSON array.
        if (Object.prototype.toString.call(paths) !== "[object Array]") native.fail(0x800A000D);
        return JSON.stringify(paths);
      })
    };
  }
  function optionalText(text) {
    return text === null || text === undefined ? null : String(text);
  }
  host = {
    form: form,
    answerMessageBox: function (answer) { native.answerMessageBox(String(answer)); },
    answerFileDialog: function (text) { native.answerFileDialog(optionalText(text)); },
    answerFolder: function (path) { native.answerFolder(optionalText(path)); },
    pump: function (ms) { native.pump(ms | 0); },
    later: function (ms, fn) {
      if (typeof fn !== "function") throw new TypeError("not a function");
      native.later(ms | 0, fn);
    },
    env: function (name) { return native.env(String(name)); },
    include: function (path) { native.include(String(path)); },
    readFile: function (path) { return native.readFile(String(path)); },
    writeFile: function (path, text) { native.writeFile(String(path), String(text)); },
    removeFile: function (path) { native.removeFile(String(path)); },
    screenshot: function (control, path) { native.screenshot(control, String(path)); },
    closeForm: function (control) { return native.closeForm(control); }
  };
  Object.defineProperty(host, "messages", {
    get: function () { return JSON.parse(native.messages()); },
    enumerable: true
  });
  var args = [];
  for (var i = 0, n = native.argCount(); i < n; ++i) args.push(native.arg(i));
  host.args = args;
})(velmarisNative);
)js";

}  // namespace velmaris::host::win32
