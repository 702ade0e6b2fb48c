#include "host/host_members.h"

#include <cstdlib>
#include <map>
#include <new>

#include "host/com_api.h"
#include "host/page_files.h"
#include "host/text.h"

namespace velmaris::host {

using namespace com;

namespace {

namespace fs = std::filesystem;

// A member's failure on its way out of CallMember.
struct Failure {
  ScriptError error;
};

[[noreturn]] void Fail(HRESULT hr) {
  throw Failure{HostError(hr, u"host")};
}

void Check(HRESULT hr) {
  if (hr < 0) Fail(hr);
}

const std::u16string& Text(Call& call, size_t index) {
  static const std::u16string kEmpty;
  const auto& text = call.args.at(index).text;
  return text ? *text : kEmpty;
}

// The library serving the page's host services, with `service` in it.
template <typename Service>
const ComApi& Need(Call& call, Service ComApi::*service) {
  std::u16string error;
  const ComApi* api = call.page.Services(error);
  if (api == nullptr) {
    call.page.WriteLine(true, u"velmaris: " + error);
    Fail(kCannotCreateObject);
  }
  if (api->*service == nullptr) Fail(E_NOTIMPL);
  return *api;
}

// An object argument for the length of a call: its identity, held, and the library that made it.
class Control {
 public:
  template <typename Service>
  Control(Call& call, const ObjectArg& arg, Service ComApi::*service) {
    if (arg.object == nullptr) Fail(kTypeMismatch);
    m_api = arg.api != nullptr ? arg.api : &Need(call, service);
    if (m_api->*service == nullptr) Fail(E_NOTIMPL);
    if (arg.object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&m_identity)) != S_OK ||
        m_identity == nullptr) {
      Fail(E_UNEXPECTED);
    }
  }
  ~Control() { m_identity->Release(); }
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  IUnknown* get() const { return m_identity; }
  const ComApi& api() const { return *m_api; }

 private:
  const ComApi* m_api = nullptr;
  IUnknown* m_identity = nullptr;
};

Answer WithText(std::u16string text) {
  Answer answer;
  answer.text = std::move(text);
  return answer;
}

Answer Json(HRESULT hr, const Bstr& json) {
  Check(hr);
  return WithText(json.Text());
}

// A path argument; a NUL inside would end the name early for the system and reach another file.
fs::path PathOf(const std::u16string& text) {
  if (text.find(u'\0') != std::u16string::npos) Fail(kBadFileName);
#if defined(_WIN32)
  return fs::path(std::wstring(text.begin(), text.end()));
#else
  return fs::path(EncodeUtf8(text));
#endif
}

std::u16string TextOf(const fs::path& path) {
#if defined(_WIN32)
  const std::wstring text = path.wstring();
  return std::u16string(text.begin(), text.end());
#else
  return DecodeUtf8(path.string());
#endif
}

void AppendJsonString(std::u16string& out, std::u16string_view text) {
  out += u'"';
  for (char16_t unit : text) {
    if (unit == u'"' || unit == u'\\') {
      out += u'\\';
      out += unit;
    } else if (unit < 0x20) {
      static constexpr char16_t kHex[] = u"0123456789abcdef";
      out += u"\\u00";
      out += kHex[unit >> 4];
      out += kHex[unit & 0xF];
    } else {
      out += unit;
    }
  }
  out += u'"';
}

// --- the page's surroundings -------------------------------------------------------------------

Answer Print(Call& call) {
  call.page.WriteLine(false, Text(call, 0));
  return {};
}

Answer Args(Call& call) {
  std::u16string json = u"[";
  for (const auto& arg : call.page.args) {
    if (json.size() > 1) json += u',';
    AppendJsonString(json, arg);
  }
  return WithText(json + u"]");
}

Answer Env(Call& call) {
#if defined(_WIN32)
  const std::wstring name(Text(call, 0).begin(), Text(call, 0).end());
  const wchar_t* value = _wgetenv(name.c_str());
  if (value == nullptr) return {};
  const std::wstring text(value);
  return WithText(std::u16string(text.begin(), text.end()));
#else
  const char* value = std::getenv(EncodeUtf8(Text(call, 0)).c_str());
  if (value == nullptr) return {};
  return WithText(DecodeUtf8(value));
#endif
}

// Hands the included script to the engine, which runs it as global code: its functions and
// variables become the page's.
Answer Include(Call& call) {
  const fs::path path = call.page.folder / PathOf(Text(call, 0));
  auto source = ReadScriptSource(path);
  if (!source) Fail(kFileNotFound);
  Answer answer = WithText(TextOf(path));
  answer.source = std::move(*source);
  return answer;
}

Answer ReadFile(Call& call) {
  auto bytes = ReadFileBytes(PathOf(Text(call, 0)));
  if (!bytes) Fail(kFileNotFound);
  return WithText(DecodeUtf8(*bytes));
}

Answer WriteFile(Call& call) {
  // The whole text, NULs included.
  if (!WriteFileBytes(PathOf(Text(call, 0)), EncodeUtf8(Text(call, 1)))) Fail(kPathFileAccess);
  return {};
}

Answer RemoveFile(Call& call) {
  if (!RemoveRegularFile(PathOf(Text(call, 0)))) Fail(kFileNotFound);
  return {};
}

// --- the library's loop ------------------------------------------------------------------------

Answer Pump(Call& call) {
  Check(Need(call, &ComApi::pump).pump(call.args[0].number));
  return {};
}

// The queued host.later callbacks, by id: the library's loop is handed only the id. A page that
// ends forgets its own, so a callback its loop never ran costs nothing and one that comes after
// the page finds nothing to run.
struct LaterCall {
  HostPage* page;
  std::unique_ptr<Callback> callback;
};

std::map<uint32_t, LaterCall>& LaterCalls() {
  static std::map<uint32_t, LaterCall> calls;
  return calls;
}

void RunLater(void* context) {
  const auto id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context));
  auto found = LaterCalls().find(id);
  if (found == LaterCalls().end()) return;
  LaterCall call = std::move(found->second);
  LaterCalls().erase(found);
  if (!call.callback->Run()) call.page->later_failed = true;
}

Answer Later(Call& call) {
  const ComApi& api = Need(call, &ComApi::later);
  static uint32_t next_id = 0;
  const uint32_t id = ++next_id;
  LaterCalls()[id] = LaterCall{&call.page, std::move(call.args[1].callback)};
  HRESULT hr =
      api.later(call.args[0].number, RunLater, reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
  if (hr < 0) LaterCalls().erase(id);
  Check(hr);
  return {};
}

// --- answers for dialogs -----------------------------------------------------------------------

Answer AnswerMessageBox(Call& call) {
  static constexpr struct {
    std::u16string_view name;
    int32_t answer;
  } kAnswers[] = {{u"ok", 1},     {u"cancel", 2}, {u"abort", 3}, {u"retry", 4},
                  {u"ignore", 5}, {u"yes", 6},    {u"no", 7}};
  for (const auto& entry : kAnswers) {
    if (Text(call, 0) != entry.name) continue;
    Check(Need(call, &ComApi::answer_message_box).answer_message_box(entry.answer));
    return {};
  }
  Fail(kInvalidArgument);
}

Answer AnswerFileDialog(Call& call) {
  const auto answer = Need(call, &ComApi::answer_file_dialog).answer_file_dialog;
  const auto& text = call.args[0].text;
  Check(text ? answer(text->c_str(), static_cast<uint32_t>(text->size())) : answer(nullptr, 0));
  return {};
}

Answer AnswerFolder(Call& call) {
  const auto answer = Need(call, &ComApi::answer_folder).answer_folder;
  const auto& path = call.args[0].text;
  Check(answer(path ? path->c_str() : nullptr));
  return {};
}

Answer Messages(Call& call) {
  const ComApi& api = Need(call, &ComApi::messages);
  Bstr json(api);
  return Json(api.messages(json.Out()), json);
}

// --- forms -------------------------------------------------------------------------------------

// Only a control has a form.
Answer Form(Call& call) {
  Control control(call, call.args[0].object, &ComApi::form_children);
  Bstr json(control.api());
  HRESULT hr = control.api().form_children(control.get(), json.Out());
  if (hr == E_NOINTERFACE) Fail(kTypeMismatch);
  Check(hr);
  return {};
}

Answer FormGet(Call& call) {
  Control control(call, call.self, &ComApi::form_get);
  Bstr json(control.api());
  return Json(control.api().form_get(control.get(), Text(call, 0).c_str(), json.Out()), json);
}

Answer FormChildren(Call& call) {
  Control control(call, call.self, &ComApi::form_children);
  Bstr json(control.api());
  return Json(control.api().form_children(control.get(), json.Out()), json);
}

// Acts on a child of the form as a user would: the action is the member's name, its argument
// the member's second, if any.
Answer FormAct(Call& call) {
  const Member& member = *call.member;
  const ArgKind kind = member.arity > 1 ? member.args[1] : ArgKind::kObject;
  // The library takes dropped paths as a JSON array.
  if (kind == ArgKind::kList && !call.args[1].text) Fail(kTypeMismatch);
  Control control(call, call.self, &ComApi::form_act);
  const ComApi& api = control.api();
  VARIANT argument;
  api.variant_init(&argument);
  if (kind == ArgKind::kText || kind == ArgKind::kList) {
    const std::u16string& text = Text(call, 1);
    argument.vt = VT_BSTR;
    argument.bstrVal = api.sys_alloc_string_len(text.data(), static_cast<uint32_t>(text.size()));
  } else if (kind == ArgKind::kInt || kind == ArgKind::kFlag) {
    argument.vt = VT_I4;
    argument.lVal = call.args[1].number;
  }
  EXCEPINFO excep{};
  const std::u16string action = DecodeUtf8(member.name);
  HRESULT hr =
      api.form_act(control.get(), Text(call, 0).c_str(), action.c_str(), &argument, &excep);
  api.variant_clear(&argument);
  if (hr < 0) throw Failure{ErrorFromCall(hr, &excep, api)};
  return {};
}

// --- forms on screen (--gui) -------------------------------------------------------------------

// The forms are drawn by the library's screen, which a headless run does not have.
void CheckScreen(Call& call, HRESULT hr, std::u16string_view member) {
  if (hr == E_UNEXPECTED) {
    call.page.WriteLine(true, u"velmaris: " + std::u16string(member) + u" 需要 --gui");
  }
  Check(hr);
}

Answer Screenshot(Call& call) {
  Control control(call, call.args[0].object, &ComApi::screenshot);
  const std::u16string& text = Text(call, 1);
  const fs::path path = PathOf(text);
  std::error_code error;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
  CheckScreen(call, control.api().screenshot(control.get(), text.c_str()), u"host.screenshot");
  return {};
}

// True when a window was open and is now closed.
Answer CloseForm(Call& call) {
  Control control(call, call.args[0].object, &ComApi::close_form);
  HRESULT hr = control.api().close_form(control.get());
  CheckScreen(call, hr, u"host.closeForm");
  Answer answer;
  answer.flag = hr == S_OK;
  return answer;
}

using enum MemberKind;
using enum ArgKind;
using R = ResultKind;

constexpr Member kHostMembers[] = {
    {"print", kGlobal, 1, {kAllText}, R::kNone, Print},
    {"form", kMethod, 1, {kObject}, R::kForm, Form},
    {"answerMessageBox", kMethod, 1, {kText}, R::kNone, AnswerMessageBox},
    {"answerFileDialog", kMethod, 1, {kOptionalText}, R::kNone, AnswerFileDialog},
    {"answerFolder", kMethod, 1, {kOptionalText}, R::kNone, AnswerFolder},
    {"pump", kMethod, 1, {kInt}, R::kNone, Pump},
    {"later", kMethod, 2, {kInt, kFunction}, R::kNone, Later},
    {"env", kMethod, 1, {kText}, R::kOptionalText, Env},
    {"include", kMethod, 1, {kText}, R::kScript, Include},
    {"readFile", kMethod, 1, {kText}, R::kText, ReadFile},
    {"writeFile", kMethod, 2, {kText, kText}, R::kNone, WriteFile},
    {"removeFile", kMethod, 1, {kText}, R::kNone, RemoveFile},
    {"screenshot", kMethod, 2, {kObject, kText}, R::kNone, Screenshot},
    {"closeForm", kMethod, 1, {kObject}, R::kFlag, CloseForm},
    {"messages", kGetter, 0, {}, R::kJson, Messages},
    {"args", kValue, 0, {}, R::kJson, Args},
};

constexpr Member kFormMembers[] = {
    {"get", kMethod, 1, {kText}, R::kJson, FormGet},
    {"children", kMethod, 0, {}, R::kJson, FormChildren},
    {"click", kMethod, 1, {kText}, R::kNone, FormAct},
    {"setText", kMethod, 2, {kText, kText}, R::kNone, FormAct},
    {"select", kMethod, 2, {kText, kInt}, R::kNone, FormAct},
    {"toggle", kMethod, 2, {kText, kInt}, R::kNone, FormAct},
    {"check", kMethod, 2, {kText, kFlag}, R::kNone, FormAct},
    {"drop", kMethod, 2, {kText, kList}, R::kNone, FormAct},
    {"hover", kMethod, 2, {kText, kInt}, R::kNone, FormAct},
};

void AppendTable(std::u16string& out, std::span<const Member> members) {
  static constexpr const char16_t* kKinds[] = {u"global", u"method", u"getter", u"value"};
  out += u'[';
  for (const Member& member : members) {
    if (out.back() != u'[') out += u',';
    out += u"{\"name\":";
    AppendJsonString(out, DecodeUtf8(member.name));
    out += u",\"kind\":\"";
    out += kKinds[static_cast<int>(member.kind)];
    out += u"\",\"args\":\"";
    for (int i = 0; i < member.arity; ++i) out += static_cast<char16_t>(member.args[i]);
    out += u"\",\"result\":\"";
    out += static_cast<char16_t>(member.result);
    out += u"\"}";
  }
  out += u']';
}

}  // namespace

std::span<const Member> HostMembers() {
  return kHostMembers;
}

std::span<const Member> FormMembers() {
  return kFormMembers;
}

std::optional<ScriptError> CallMember(const Member& member, Call& call, Answer& answer) noexcept {
  try {
    if (call.args.size() < static_cast<size_t>(member.arity)) return HostError(E_INVALIDARG);
    call.member = &member;
    answer = member.run(call);
    return std::nullopt;
  } catch (const Failure& failure) {
    return failure.error;
  } catch (const std::bad_alloc&) {
    return HostError(E_OUTOFMEMORY);
  } catch (...) {
    return HostError(E_FAIL);
  }
}

std::u16string DescribeMembers() {
  std::u16string out = u"{\"host\":";
  AppendTable(out, kHostMembers);
  out += u",\"form\":";
  AppendTable(out, kFormMembers);
  return out + u"}";
}

void ForgetLaterCalls(HostPage& page) {
  std::erase_if(LaterCalls(), [&page](const auto& call) { return call.second.page == &page; });
}

}  // namespace velmaris::host
