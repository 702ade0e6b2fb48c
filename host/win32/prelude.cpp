#include "host/text.h"
#include "host/win32/host_dispatch.h"

namespace velmaris::host::win32 {

const wchar_t kNativeName[] = L"velmarisNative";

namespace {

// Builds the page's `host` object and print() over the native object from the members'
// description, converting arguments as their kinds say and decoding JSON answers.
constexpr wchar_t kBinder[] =
    LR"js(
var host;
(function (native, members, global) {
  var convert = {
    t: String,
    n: function (text) { return text === null || text === undefined ? null : String(text); },
    i: function (number) { return number | 0; },
    b: function (flag) { return !!flag; },
    l: function (list) {
      return Object.prototype.toString.call(list) === "[object Array]" ? JSON.stringify(list) : null;
    },
    o: function (object) { return object; },
    f: function (fn) {
      if (typeof fn !== "function") throw new TypeError("not a function");
      return fn;
    }
  };
  function call(name, args) {
    switch (args.length) {
      case 0: return native[name]();
      case 1: return native[name](args[0]);
      case 2: return native[name](args[0], args[1]);
      default: return native[name](args[0], args[1], args[2]);
    }
  }
  function bind(member, prefix, control) {
    return function () {
      var args = prefix ? [control] : [];
      if (member.args === "*") {
        args.push(Array.prototype.join.call(arguments, " "));
      } else {
        for (var i = 0; i < member.args.length; ++i) {
          args.push(convert[member.args.charAt(i)](arguments[i]));
        }
      }
      var result = call(prefix + member.name, args);
      if (member.result === "j") return JSON.parse(result);
      if (member.result === "f") return form(args[0]);
      if (member.result === "u" || member.result === "s") return undefined;
      return result;
    };
  }
  function form(control) {
    var object = {};
    for (var i = 0; i < members.form.length; ++i) {
      object[members.form[i].name] = bind(members.form[i], "form.", control);
    }
    return object;
  }
  host = {};
  for (var i = 0; i < members.host.length; ++i) {
    var member = members.host[i], fn = bind(member, "", null);
    if (member.kind === "global") {
      global[member.name] = fn;
    } else if (member.kind === "getter") {
      Object.defineProperty(host, member.name, {get: fn, enumerable: true});
    } else if (member.kind === "value") {
      host[member.name] = fn();
    } else {
      host[member.name] = fn;
    }
  }
})()js";

}  // namespace

std::wstring Prelude() {
  const std::u16string members = DescribeMembers();
  return kBinder + std::wstring(kNativeName) + L", " +
         std::wstring(members.begin(), members.end()) + L", this);\n";
}

std::wstring GuiPrelude() {
  // The engine's own ActiveXObject makes the control; `new` on a function that returns an object
  // gives that object.
  return L"ActiveXObject = (function (make, native) {\n"
         L"  return function (progid) { var control = new make(progid); native.showForm(control);"
         L" return control; };\n"
         L"})(ActiveXObject, " +
         std::wstring(kNativeName) + L");\n";
}

}  // namespace velmaris::host::win32
