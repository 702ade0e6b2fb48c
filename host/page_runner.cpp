#include "host/page_runner.h"

#include <duktape.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/activex.h"
#include "host/host_object.h"
#include "host/page_files.h"
#include "host/screen.h"
#include "host/script_support.h"
#include "host/session.h"
#include "host/text.h"

namespace velmaris::host {

namespace {

void Fatal(void*, const char* message) {
  std::fprintf(stderr, "velmaris: 脚本引擎内部错误: %s\n", message ? message : "");
  std::fflush(stderr);
  std::abort();
}

// Numbers for engine errors that carry none, as classic script engines give them.
int32_t NumberForErrorName(std::string_view name) {
  if (name == "SyntaxError") return static_cast<int32_t>(0x800A03EAu);     // syntax error
  if (name == "ReferenceError") return static_cast<int32_t>(0x800A1391u);  // undefined
  if (name == "TypeError") return static_cast<int32_t>(0x800A138Fu);       // object expected
  return static_cast<int32_t>(0x800A139Eu);  // exception thrown and not caught
}

// [... error] -> [... error "number" "description" "location"], run protected: reading the
// thrown value may itself run script. Engine objects only here: this frame may be unwound. A safe
// call shares its caller's frame, so the error is the top, not index 0: a host.later callback
// that fails inside a control's call finds that call's arguments below it.
duk_ret_t DescribeUncaught(duk_context* ctx, void*) {
  const duk_idx_t error = duk_get_top_index(ctx);
  const bool is_object = duk_is_object(ctx, error);
  int32_t number = NumberForErrorName("");
  if (is_object) {
    duk_get_prop_string(ctx, error, "number");
    duk_get_prop_string(ctx, error, "name");
    if (duk_is_number(ctx, -2)) {
      number = duk_to_int32(ctx, -2);
    } else if (duk_is_string(ctx, -1)) {
      number = NumberForErrorName(duk_get_string(ctx, -1));
    }
    duk_pop_2(ctx);
  }
  duk_push_sprintf(ctx, "%ld", static_cast<long>(number));

  bool described = false;
  for (const char* key : {"description", "message"}) {
    if (!is_object || described) break;
    duk_get_prop_string(ctx, error, key);
    described = duk_is_string(ctx, -1) && duk_get_length(ctx, -1) > 0;
    if (!described) duk_pop(ctx);
  }
  if (!described) {
    duk_dup(ctx, error);
    duk_to_string(ctx, -1);
  }

  duk_push_string(ctx, "");
  if (is_object) {
    duk_get_prop_string(ctx, error, "fileName");
    duk_get_prop_string(ctx, error, "lineNumber");
    if (duk_is_string(ctx, -2) && duk_is_number(ctx, -1)) {
      duk_push_sprintf(ctx, "%s:%ld", duk_get_string(ctx, -2),
                       static_cast<long>(duk_get_int(ctx, -1)));
      duk_replace(ctx, -4);
    }
    duk_pop_2(ctx);
  }
  return 3;
}

// Runs the page; true when it ran to its end.
bool RunScript(duk_context* ctx, const std::string& page) {
  auto source = ReadScriptSource(page);
  if (!source) {
    std::fprintf(stderr, "velmaris: 无法读取页面 %s\n", page.c_str());
    return false;
  }
  PushUtf8(ctx, page);
  if (duk_pcompile_lstring_filename(ctx, 0, source->data(), source->size()) != 0 ||
      duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) {
    ReportUncaught(ctx);
    duk_pop(ctx);
    return false;
  }
  duk_pop(ctx);
  return true;
}

}  // namespace

// Reports the error on top of the stack, leaving it there.
void ReportUncaught(duk_context* ctx) {
  duk_dup_top(ctx);
  if (duk_safe_call(ctx, DescribeUncaught, nullptr, 1, 3) != DUK_EXEC_SUCCESS) {
    std::fputs("错误 -2146823266: 引发了异常但未捕获\n", stderr);
    duk_pop_3(ctx);
    return;
  }
  std::string line =
      std::string("错误 ") + duk_get_string(ctx, -3) + ": " + ScriptToUtf8(duk_get_string(ctx, -2));
  std::fprintf(stderr, "%s\n", line.c_str());
  if (duk_get_length(ctx, -1) > 0) {
    std::fprintf(stderr, "    at %s\n", ScriptToUtf8(duk_get_string(ctx, -1)).c_str());
  }
  duk_pop_3(ctx);
}

int RunPage(const PageOptions& options) {
  PageSession session;
  for (const auto& arg : options.args) session.args.push_back(DecodeUtf8(arg));
  session.folder = std::filesystem::absolute(options.page).parent_path();

  duk_context* ctx = duk_create_heap(nullptr, nullptr, nullptr, nullptr, Fatal);
  if (ctx == nullptr) {
    std::fputs("velmaris: 无法创建脚本引擎\n", stderr);
    return 1;
  }
  AttachSession(ctx, &session);
  DefineActiveXObject(ctx);
  DefineHost(ctx);

  session.gui = options.gui;
  bool ran = !options.gui || StartScreen(ctx);
  ran = ran && RunScript(ctx, options.page);
  // The page's windows live on after its script, and host.later callbacks with them.
  if (ran && options.gui) WaitForWindows(ctx);
  // A host.later callback still queued in the library's loop does nothing from now on.
  ForgetLaterCalls(session);
  // Destroying the engine runs the finalizers, which release every control the page still held;
  // only then may the libraries go.
  duk_destroy_heap(ctx);
  auto busy = session.libraries.UnloadAll();
  // A page that failed is still asked to have let go of everything: its failure decides the
  // status.
  const bool failed = !ran || session.later_failed;
  if (options.require_unload && !busy.empty()) {
    for (const auto& path : busy) std::fprintf(stderr, "velmaris: %s 仍在使用中\n", path.c_str());
    if (!failed) return 3;
  }
  return failed ? 1 : 0;
}

}  // namespace velmaris::host
