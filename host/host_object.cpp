#include "host/host_object.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "host/dispatch_proxy.h"
#include "host/errors.h"
#include "host/page_files.h"
#include "host/page_runner.h"
#include "host/script_support.h"
#include "host/session.h"
#include "host/text.h"

namespace velmaris::host {

using namespace com;

namespace {

constexpr const char* kControlKey = DUK_HIDDEN_SYMBOL("control");

duk_ret_t Finish(duk_context* ctx, bool ok, duk_ret_t results) {
  if (!ok) return duk_throw(ctx);
  return results;
}

bool PushFailure(duk_context* ctx, HRESULT hr) {
  PushScriptError(ctx, HostError(hr, u"host"));
  return false;
}

// The library answering host services; pushes an error when there is none or it lacks `service`.
template <typename Service>
const ComApi* ServiceApi(duk_context* ctx, Service ComApi::*service) {
  std::string error;
  Library* library = ServiceLibrary(ctx, error);
  if (library == nullptr) {
    std::fprintf(stderr, "velmaris: %s\n", error.c_str());
    PushFailure(ctx, kCannotCreateObject);
    return nullptr;
  }
  if (library->Api().*service == nullptr) {
    PushFailure(ctx, E_NOTIMPL);
    return nullptr;
  }
  return &library->Api();
}

// Pushes the JSON text of an answer; the caller decodes it outside the C++ frame.
bool PushJson(duk_context* ctx, HRESULT hr, const Bstr& json) {
  if (hr < 0) return PushFailure(ctx, hr);
  PushText(ctx, json.Text());
  return true;
}

bool PushDone(duk_context* ctx, HRESULT hr) {
  if (hr < 0) return PushFailure(ctx, hr);
  duk_push_undefined(ctx);
  return true;
}

// --- host.form(ctrl) -------------------------------------------------------------------------

// The control a form function belongs to: its identity IUnknown (a reference the caller
// releases) and the functions of the library that made it. Pushes an error when unusable.
template <typename Service>
IUnknown* FormControl(duk_context* ctx, Service ComApi::*service, const ComApi*& api) {
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kControlKey);
  IDispatch* object = DispatchOf(ctx, -1);
  api = ApiOf(ctx, -1);
  duk_pop_2(ctx);
  if (api != nullptr && api->*service == nullptr) {
    PushFailure(ctx, E_NOTIMPL);
    return nullptr;
  }
  IUnknown* identity = nullptr;
  if (object == nullptr || api == nullptr ||
      object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)) != S_OK) {
    PushFailure(ctx, E_UNEXPECTED);
    return nullptr;
  }
  return identity;
}

bool FormGetWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    const ComApi* api = nullptr;
    IUnknown* control = FormControl(ctx, &ComApi::form_get, api);
    if (control == nullptr) return false;
    std::u16string name = GetText(ctx, 0);
    Bstr json(*api);
    HRESULT hr = api->form_get(control, name.c_str(), json.Out());
    control->Release();
    return PushJson(ctx, hr, json);
  });
}

duk_ret_t FormGet(duk_context* ctx) {
  duk_to_string(ctx, 0);
  if (!FormGetWork(ctx)) return duk_throw(ctx);
  duk_json_decode(ctx, -1);
  return 1;
}

bool FormChildrenWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    const ComApi* api = nullptr;
    IUnknown* control = FormControl(ctx, &ComApi::form_children, api);
    if (control == nullptr) return false;
    Bstr json(*api);
    HRESULT hr = api->form_children(control, json.Out());
    control->Release();
    return PushJson(ctx, hr, json);
  });
}

duk_ret_t FormChildren(duk_context* ctx) {
  if (!FormChildrenWork(ctx)) return duk_throw(ctx);
  duk_json_decode(ctx, -1);
  return 1;
}

// How the second argument of a form action travels.
enum class Argument { kNone, kText, kIndex, kFlag };

bool FormActWork(duk_context* ctx, const char16_t* action, Argument kind) {
  return Guarded(ctx, [&] {
    const ComApi* api = nullptr;
    IUnknown* control = FormControl(ctx, &ComApi::form_act, api);
    if (control == nullptr) return false;
    std::u16string name = GetText(ctx, 0);
    VARIANT argument;
    api->variant_init(&argument);
    if (kind == Argument::kText) {
      std::u16string text = GetText(ctx, 1);
      argument.vt = VT_BSTR;
      argument.bstrVal = api->sys_alloc_string_len(text.data(), static_cast<uint32_t>(text.size()));
    } else if (kind == Argument::kIndex) {
      argument.vt = VT_I4;
      argument.lVal = duk_get_int(ctx, 1);
    } else if (kind == Argument::kFlag) {
      argument.vt = VT_I4;
      argument.lVal = duk_get_boolean(ctx, 1) ? 1 : 0;
    }
    EXCEPINFO excep{};
    HRESULT hr = api->form_act(control, name.c_str(), action, &argument, &excep);
    api->variant_clear(&argument);
    control->Release();
    if (hr < 0) {
      PushScriptError(ctx, ErrorFromCall(hr, &excep, *api));
      return false;
    }
    duk_push_undefined(ctx);
    return true;
  });
}

duk_ret_t FormClick(duk_context* ctx) {
  duk_to_string(ctx, 0);
  return Finish(ctx, FormActWork(ctx, u"click", Argument::kNone), 0);
}

duk_ret_t FormSetText(duk_context* ctx) {
  duk_to_string(ctx, 0);
  duk_to_string(ctx, 1);
  return Finish(ctx, FormActWork(ctx, u"setText", Argument::kText), 0);
}

duk_ret_t FormSelect(duk_context* ctx) {
  duk_to_string(ctx, 0);
  duk_to_int32(ctx, 1);
  return Finish(ctx, FormActWork(ctx, u"select", Argument::kIndex), 0);
}

duk_ret_t FormHover(duk_context* ctx) {
  duk_to_string(ctx, 0);
  duk_to_int32(ctx, 1);
  return Finish(ctx, FormActWork(ctx, u"hover", Argument::kIndex), 0);
}

duk_ret_t FormToggle(duk_context* ctx) {
  duk_to_string(ctx, 0);
  duk_to_int32(ctx, 1);
  return Finish(ctx, FormActWork(ctx, u"toggle", Argument::kIndex), 0);
}

duk_ret_t FormCheck(duk_context* ctx) {
  duk_to_string(ctx, 0);
  duk_to_boolean(ctx, 1);
  return Finish(ctx, FormActWork(ctx, u"check", Argument::kFlag), 0);
}

duk_ret_t FormDrop(duk_context* ctx) {
  duk_to_string(ctx, 0);
  if (!duk_is_array(ctx, 1)) return Finish(ctx, PushFailure(ctx, kTypeMismatch), 0);
  // The library takes the dropped paths as a JSON array.
  duk_json_encode(ctx, 1);
  return Finish(ctx, FormActWork(ctx, u"drop", Argument::kText), 0);
}

struct FormFunction {
  const char* name;
  duk_c_function function;
  duk_idx_t nargs;
};

constexpr FormFunction kFormFunctions[] = {
    {"get", FormGet, 1},         {"children", FormChildren, 0}, {"click", FormClick, 1},
    {"setText", FormSetText, 2}, {"select", FormSelect, 2},     {"toggle", FormToggle, 2},
    {"check", FormCheck, 2},     {"drop", FormDrop, 2},         {"hover", FormHover, 2},
};

duk_ret_t Form(duk_context* ctx) {
  if (DispatchOf(ctx, 0) == nullptr) return Finish(ctx, PushFailure(ctx, kTypeMismatch), 0);
  duk_push_object(ctx);
  for (const auto& entry : kFormFunctions) {
    duk_push_c_function(ctx, entry.function, entry.nargs);
    // The form keeps its control alive.
    duk_dup(ctx, 0);
    duk_put_prop_string(ctx, -2, kControlKey);
    duk_put_prop_string(ctx, -2, entry.name);
  }
  return 1;
}

// --- answers for dialogs ---------------------------------------------------------------------

bool AnswerMessageBoxWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    static constexpr struct {
      const char* name;
      int32_t answer;
    } kAnswers[] = {{"ok", 1},     {"cancel", 2}, {"abort", 3}, {"retry", 4},
                    {"ignore", 5}, {"yes", 6},    {"no", 7}};
    std::string name = duk_get_string(ctx, 0);
    for (const auto& entry : kAnswers) {
      if (name != entry.name) continue;
      const ComApi* api = ServiceApi(ctx, &ComApi::answer_message_box);
      return api != nullptr && PushDone(ctx, api->answer_message_box(entry.answer));
    }
    return PushFailure(ctx, kInvalidArgument);
  });
}

duk_ret_t AnswerMessageBox(duk_context* ctx) {
  duk_to_string(ctx, 0);
  return Finish(ctx, AnswerMessageBoxWork(ctx), 0);
}

bool AnswerFileDialogWork(duk_context* ctx, bool cancel) {
  return Guarded(ctx, [&] {
    const ComApi* api = ServiceApi(ctx, &ComApi::answer_file_dialog);
    if (api == nullptr) return false;
    if (cancel) return PushDone(ctx, api->answer_file_dialog(nullptr, 0));
    std::u16string text = GetText(ctx, 0);
    return PushDone(ctx, api->answer_file_dialog(text.c_str(), static_cast<uint32_t>(text.size())));
  });
}

duk_ret_t AnswerFileDialog(duk_context* ctx) {
  bool cancel = duk_is_null_or_undefined(ctx, 0);
  if (!cancel) duk_to_string(ctx, 0);
  return Finish(ctx, AnswerFileDialogWork(ctx, cancel), 0);
}

bool AnswerFolderWork(duk_context* ctx, bool cancel) {
  return Guarded(ctx, [&] {
    const ComApi* api = ServiceApi(ctx, &ComApi::answer_folder);
    if (api == nullptr) return false;
    if (cancel) return PushDone(ctx, api->answer_folder(nullptr));
    std::u16string path = GetText(ctx, 0);
    return PushDone(ctx, api->answer_folder(path.c_str()));
  });
}

duk_ret_t AnswerFolder(duk_context* ctx) {
  bool cancel = duk_is_null_or_undefined(ctx, 0);
  if (!cancel) duk_to_string(ctx, 0);
  return Finish(ctx, AnswerFolderWork(ctx, cancel), 0);
}

bool MessagesWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    const ComApi* api = ServiceApi(ctx, &ComApi::messages);
    if (api == nullptr) return false;
    Bstr json(*api);
    HRESULT hr = api->messages(json.Out());
    return PushJson(ctx, hr, json);
  });
}

duk_ret_t Messages(duk_context* ctx) {
  if (!MessagesWork(ctx)) return duk_throw(ctx);
  duk_json_decode(ctx, -1);
  return 1;
}

bool PumpWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    const ComApi* api = ServiceApi(ctx, &ComApi::pump);
    return api != nullptr && PushDone(ctx, api->pump(duk_get_int(ctx, 0)));
  });
}

duk_ret_t Pump(duk_context* ctx) {
  duk_to_int32(ctx, 0);
  return Finish(ctx, PumpWork(ctx), 0);
}

// --- host.later(ms, fn) ------------------------------------------------------------------------

constexpr const char* kLaterKey = DUK_HIDDEN_SYMBOL("later");

// The queued callbacks, by id: the library's loop is handed only the id, and the function waits
// in its page's stash under it. A page that ends forgets its own, so a callback its loop never
// ran costs nothing and one that comes after the page finds nothing to run.
std::map<uint32_t, duk_context*>& LaterCalls() {
  static std::map<uint32_t, duk_context*> calls;
  return calls;
}

void RunLater(void* context) {
  const auto id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context));
  auto found = LaterCalls().find(id);
  if (found == LaterCalls().end()) return;
  duk_context* ctx = found->second;
  LaterCalls().erase(found);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, kLaterKey);
  duk_get_prop_index(ctx, -1, id);
  duk_del_prop_index(ctx, -2, id);
  if (duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) {
    // Nobody is there to catch it: report it like an uncaught error of the page.
    ReportUncaught(ctx);
    SessionOf(ctx).later_failed = true;
  }
  duk_pop_3(ctx);
}

bool LaterWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    const ComApi* api = ServiceApi(ctx, &ComApi::later);
    if (api == nullptr) return false;
    static uint32_t next_id = 0;
    uint32_t id = ++next_id;
    duk_push_global_stash(ctx);
    if (!duk_get_prop_string(ctx, -1, kLaterKey)) {
      duk_pop(ctx);
      duk_push_object(ctx);
      duk_dup_top(ctx);
      duk_put_prop_string(ctx, -3, kLaterKey);
    }
    duk_dup(ctx, 1);
    duk_put_prop_index(ctx, -2, id);
    duk_pop_2(ctx);
    LaterCalls()[id] = ctx;
    HRESULT hr = api->later(duk_get_int(ctx, 0), RunLater,
                            reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
    if (hr < 0) LaterCalls().erase(id);
    return PushDone(ctx, hr);
  });
}

// host.later(ms, fn): runs fn once after ms, inside whatever wait is running then.
duk_ret_t Later(duk_context* ctx) {
  duk_to_int32(ctx, 0);
  duk_require_function(ctx, 1);
  return Finish(ctx, LaterWork(ctx), 0);
}

}  // namespace

void ForgetLaterCalls(duk_context* ctx) {
  std::erase_if(LaterCalls(), [ctx](const auto& call) { return call.second == ctx; });
}

namespace {

// --- the page's surroundings -----------------------------------------------------------------

duk_ret_t Env(duk_context* ctx) {
  duk_to_string(ctx, 0);
  bool found = Guarded(ctx, [&] {
    const char* value = std::getenv(ScriptToUtf8(duk_get_string(ctx, 0)).c_str());
    if (value == nullptr) return false;
    PushUtf8(ctx, value);
    return true;
  });
  if (!found) duk_push_undefined(ctx);
  return 1;
}

// The path argument at `index`; nothing, with the error pushed, when it holds a NUL: the system
// would end the name there and reach another file.
std::optional<std::filesystem::path> PathArgument(duk_context* ctx, duk_idx_t index) {
  duk_size_t length = 0;
  const char* text = duk_get_lstring(ctx, index, &length);
  std::string_view bytes(text == nullptr ? "" : text, text == nullptr ? 0 : length);
  if (bytes.find('\0') != std::string_view::npos) {
    PushFailure(ctx, kBadFileName);
    return std::nullopt;
  }
  return std::filesystem::path(ScriptToUtf8(bytes));
}

// Pushes the source of an included script and its name, for the engine to compile.
bool IncludeWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    auto argument = PathArgument(ctx, 0);
    if (!argument) return false;
    std::filesystem::path path = SessionOf(ctx).folder / *argument;
    auto source = ReadScriptSource(path);
    if (!source) return PushFailure(ctx, kFileNotFound);
    duk_push_lstring(ctx, source->data(), source->size());
    PushUtf8(ctx, path.string());
    return true;
  });
}

duk_ret_t Include(duk_context* ctx) {
  duk_to_string(ctx, 0);
  if (!IncludeWork(ctx)) return duk_throw(ctx);
  // Runs as global code, so its functions and variables become the page's.
  duk_compile(ctx, 0);
  duk_call(ctx, 0);
  return 0;
}

bool ReadFileWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    auto path = PathArgument(ctx, 0);
    if (!path) return false;
    auto bytes = ReadFileBytes(*path);
    if (!bytes) return PushFailure(ctx, kFileNotFound);
    PushUtf8(ctx, *bytes);
    return true;
  });
}

duk_ret_t ReadFile(duk_context* ctx) {
  duk_to_string(ctx, 0);
  return Finish(ctx, ReadFileWork(ctx), 1);
}

bool WriteFileWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    auto argument = PathArgument(ctx, 0);
    if (!argument) return false;
    // The whole text, NULs included.
    duk_size_t length = 0;
    const char* bytes = duk_get_lstring(ctx, 1, &length);
    if (!WriteFileBytes(*argument, ScriptToUtf8(std::string_view(bytes, length)))) {
      return PushFailure(ctx, kPathFileAccess);
    }
    duk_push_undefined(ctx);
    return true;
  });
}

duk_ret_t WriteFile(duk_context* ctx) {
  duk_to_string(ctx, 0);
  duk_to_string(ctx, 1);
  return Finish(ctx, WriteFileWork(ctx), 0);
}

bool RemoveFileWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    auto path = PathArgument(ctx, 0);
    if (!path) return false;
    if (!RemoveRegularFile(*path)) return PushFailure(ctx, kFileNotFound);
    duk_push_undefined(ctx);
    return true;
  });
}

duk_ret_t RemoveFile(duk_context* ctx) {
  duk_to_string(ctx, 0);
  return Finish(ctx, RemoveFileWork(ctx), 0);
}

// --- forms on screen (--gui) ------------------------------------------------------------------

// The control argument of a screen function as its identity IUnknown (a reference the caller
// releases) and the functions of its library; pushes an error when unusable.
template <typename Service>
IUnknown* ScreenControl(duk_context* ctx, Service ComApi::*service, const ComApi*& api) {
  IDispatch* object = DispatchOf(ctx, 0);
  api = ApiOf(ctx, 0);
  if (object == nullptr || api == nullptr) {
    PushFailure(ctx, kTypeMismatch);
    return nullptr;
  }
  if (api->*service == nullptr) {
    PushFailure(ctx, E_NOTIMPL);
    return nullptr;
  }
  IUnknown* identity = nullptr;
  if (object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)) != S_OK) {
    PushFailure(ctx, E_UNEXPECTED);
    return nullptr;
  }
  return identity;
}

// The forms are drawn by the library's screen, which a headless run does not have.
bool PushScreenFailure(duk_context* ctx, HRESULT hr, const char* function) {
  if (hr == E_UNEXPECTED) std::fprintf(stderr, "velmaris: %s 需要 --gui\n", function);
  return PushFailure(ctx, hr);
}

bool ScreenshotWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    const ComApi* api = nullptr;
    IUnknown* control = ScreenControl(ctx, &ComApi::screenshot, api);
    if (control == nullptr) return false;
    auto path = PathArgument(ctx, 1);
    if (!path) {
      control->Release();
      return false;
    }
    std::error_code error;
    if (path->has_parent_path()) std::filesystem::create_directories(path->parent_path(), error);
    std::u16string text = GetText(ctx, 1);
    HRESULT hr = api->screenshot(control, text.c_str());
    control->Release();
    if (hr < 0) return PushScreenFailure(ctx, hr, "host.screenshot");
    duk_push_undefined(ctx);
    return true;
  });
}

duk_ret_t Screenshot(duk_context* ctx) {
  duk_to_string(ctx, 1);
  return Finish(ctx, ScreenshotWork(ctx), 0);
}

bool CloseFormWork(duk_context* ctx) {
  return Guarded(ctx, [&] {
    const ComApi* api = nullptr;
    IUnknown* control = ScreenControl(ctx, &ComApi::close_form, api);
    if (control == nullptr) return false;
    HRESULT hr = api->close_form(control);
    control->Release();
    if (hr < 0) return PushScreenFailure(ctx, hr, "host.closeForm");
    duk_push_boolean(ctx, hr == S_OK);
    return true;
  });
}

// host.closeForm(ctrl): true when a window was open and is now closed.
duk_ret_t CloseForm(duk_context* ctx) {
  return Finish(ctx, CloseFormWork(ctx), 1);
}

void PutFunction(duk_context* ctx, const char* name, duk_c_function function, duk_idx_t nargs) {
  duk_push_c_function(ctx, function, nargs);
  duk_put_prop_string(ctx, -2, name);
}

}  // namespace

void DefineHost(duk_context* ctx) {
  duk_push_object(ctx);
  PutFunction(ctx, "form", Form, 1);
  PutFunction(ctx, "answerMessageBox", AnswerMessageBox, 1);
  PutFunction(ctx, "answerFileDialog", AnswerFileDialog, 1);
  PutFunction(ctx, "answerFolder", AnswerFolder, 1);
  PutFunction(ctx, "pump", Pump, 1);
  PutFunction(ctx, "later", Later, 2);
  PutFunction(ctx, "env", Env, 1);
  PutFunction(ctx, "include", Include, 1);
  PutFunction(ctx, "readFile", ReadFile, 1);
  PutFunction(ctx, "writeFile", WriteFile, 2);
  PutFunction(ctx, "removeFile", RemoveFile, 1);
  PutFunction(ctx, "screenshot", Screenshot, 2);
  PutFunction(ctx, "closeForm", CloseForm, 1);

  duk_push_string(ctx, "messages");
  duk_push_c_function(ctx, Messages, 0);
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE);

  duk_push_array(ctx);
  const auto& args = SessionOf(ctx).args;
  for (size_t i = 0; i < args.size(); ++i) {
    PushUtf8(ctx, args[i]);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
  }
  duk_put_prop_string(ctx, -2, "args");

  duk_put_global_string(ctx, "host");
}

}  // namespace velmaris::host
