// The page's `host` object, described once for every script engine that binds it: each member's
// name, the kinds of its arguments and of its answer, and what it does through the library's host
// services. A binding converts values and runs callbacks; nothing here knows an engine or a
// system's types.
//   print(a, b, ...)            one line on stdout, the arguments as text separated by blanks
//   host.form(ctrl)             .get(name) .children() .click(name) .setText(name, text)
//                               .select(name, index) .toggle(name, index) .check(name, on)
//                               .drop(name, [paths]) .hover(name, index)
//   host.answerMessageBox(a)    "ok" | "cancel" | "abort" | "retry" | "ignore" | "yes" | "no"
//   host.answerFileDialog(t)    one path, or a folder and names separated by "\0"; null cancels
//   host.answerFolder(path)     null cancels
//   host.messages               every message box and dialog shown so far
//   host.pump(ms)               runs the message loop for that long
//   host.later(ms, fn)          runs fn once after ms, inside whatever wait is running then
//   host.args, host.env(name), host.include(path), host.readFile(path), host.writeFile(path, text)
//   host.removeFile(path)       deletes a file (a listed file that vanishes before it is sent)
//   host.screenshot(ctrl, path) a PNG of the control's form as it is now (with --gui only)
//   host.closeForm(ctrl)        closes the control's window as its close button would (--gui)
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/errors.h"

namespace velmaris::com {
struct IUnknown;
}

namespace velmaris::host {

struct ComApi;

// How a member is reached.
enum class MemberKind {
  kGlobal,  // a function of the page's own, beside `host`
  kMethod,  // a function of the object
  kGetter,  // a property read each time it is asked for
  kValue,   // a property read once, when the object is made
};

// How a binding converts an argument before the member sees it; the letters name the kinds in
// DescribeMembers.
enum class ArgKind : char {
  kText = 't',          // ToString
  kOptionalText = 'n',  // null or undefined: none; else ToString
  kInt = 'i',           // ToInt32
  kFlag = 'b',          // ToBoolean
  kList = 'l',          // an array, as JSON text; anything else: none
  kObject = 'o',        // an object a library made; anything else: none
  kFunction = 'f',      // a function; anything else is the engine's own TypeError
  kAllText = '*',       // every argument as text, separated by blanks
};

// What a binding makes of a member's answer.
enum class ResultKind : char {
  kNone = 'u',          // undefined
  kText = 't',          // a string
  kOptionalText = 'n',  // a string, or undefined when there is none
  kJson = 'j',          // the value the JSON text stands for
  kFlag = 'b',          // a boolean
  kScript = 's',        // the source is run as the page's global code
  kForm = 'f',          // an object of the form members, bound to the first argument
};

// An object argument as the engine holds it.
struct ObjectArg {
  com::IUnknown* object = nullptr;  // no reference of its own; null when it is none
  const ComApi* api = nullptr;      // the library that made it; null: the page's service library
};

// A function the page handed over, for the library's loop to call later.
class Callback {
 public:
  virtual ~Callback() = default;
  // Calls it; false when it ended in an uncaught error (reported already).
  virtual bool Run() = 0;
};

// One argument, converted as its kind says.
struct Arg {
  std::optional<std::u16string> text;  // kText, kOptionalText, kList, kAllText
  int32_t number = 0;                  // kInt; kFlag as 0 or 1
  ObjectArg object;                    // kObject
  std::unique_ptr<Callback> callback;  // kFunction
};

// A member's answer, as its result kind says.
struct Answer {
  std::optional<std::u16string> text;  // kText, kOptionalText, kJson; kScript: the file's name
  bool flag = false;                   // kFlag
  std::string source;                  // kScript: the script's bytes
};

// What a host keeps of a running page beside its engine.
class HostPage {
 public:
  virtual ~HostPage() = default;
  // The library answering the host services; null, with the reason, when none loads.
  virtual const ComApi* Services(std::u16string& error) = 0;
  // Writes one line on stdout or stderr.
  virtual void WriteLine(bool error_stream, std::u16string_view text) = 0;

  std::vector<std::u16string> args;  // after the page's name on the command line
  std::filesystem::path folder;      // where the page is; relative includes start here
  bool later_failed = false;         // a host.later callback ended in an uncaught error
};

struct Member;

// One call of a member: its arguments, and for a form's members the control of the form.
struct Call {
  HostPage& page;
  std::vector<Arg>& args;
  ObjectArg self;
  const Member* member = nullptr;  // set by CallMember
};

struct Member {
  const char* name;
  MemberKind kind;
  int arity;
  std::array<ArgKind, 2> args;
  ResultKind result;
  Answer (*run)(Call& call);
};

// The members of `host` (print among them), and those of the object host.form(ctrl) makes.
std::span<const Member> HostMembers();
std::span<const Member> FormMembers();

// Runs `member`; its failure comes back as the script error to raise. Never throws.
std::optional<ScriptError> CallMember(const Member& member, Call& call, Answer& answer) noexcept;

// Both tables as JSON, for a binding written in script:
// {"host":[{"name":..,"kind":"global"|"method"|"getter"|"value","args":"tn..","result":"j"}..],
//  "form":[..]}, the letters those of ArgKind and ResultKind.
std::u16string DescribeMembers();

// Forgets the page's host.later callbacks that have not run: once its page has ended, a callback
// the loop still holds runs nothing.
void ForgetLaterCalls(HostPage& page);

}  // namespace velmaris::host
