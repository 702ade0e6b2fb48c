#include "host/bridge/calls.h"

#include <optional>
#include <span>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/bridge/pictures.h"
#include "host/members_of.h"
#include "host/text.h"

namespace velmaris::host::bridge {

using namespace com;
using Json = nlohmann::json;

namespace {

constexpr char16_t kSource[] = u"velmaris bridge";

// A request that cannot go on; its error becomes the reply.
struct Refusal {
  ScriptError error;
};

[[noreturn]] void Refuse(ScriptError error) {
  throw Refusal{std::move(error)};
}

[[noreturn]] void BadRequest(std::u16string description) {
  Refuse(ScriptError{kInvalidArgument, std::move(description), kSource});
}

ScriptError NoSuchControl() {
  return ScriptError{static_cast<int32_t>(0x800A01A8u), u"缺少对象", kSource};
}

std::string Utf8(std::u16string_view text) {
  return EncodeUtf8(text);
}

// Arguments for one Invoke, in the order the page gave them; cleared through the library.
class Arguments {
 public:
  Arguments(const ComApi& api, size_t count) : m_api(api), m_values(count), m_refs(count) {
    for (auto& value : m_values) api.variant_init(&value);
    for (auto& ref : m_refs) api.variant_init(&ref);
  }
  ~Arguments() {
    for (auto& value : m_values) m_api.variant_clear(&value);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;

  VARIANT& Value(size_t index) { return m_values[index]; }
  // Passes argument `index` by reference, as a by-reference parameter takes it.
  void ByRef(size_t index) {
    m_refs[index].vt = VT_BYREF | VT_VARIANT;
    m_refs[index].pvarVal = &m_values[index];
  }
  // The parameters as Invoke takes them: in reverse order.
  std::vector<VARIANT> Reversed() const {
    std::vector<VARIANT> reversed;
    for (size_t i = m_values.size(); i-- > 0;) {
      reversed.push_back(m_refs[i].vt != VT_EMPTY ? m_refs[i] : m_values[i]);
    }
    return reversed;
  }
  size_t Count() const { return m_values.size(); }

 private:
  const ComApi& m_api;
  std::vector<VARIANT> m_values;
  std::vector<VARIANT> m_refs;
};

void ToVariant(const Json& value, const ComApi& api, VARIANT& out) {
  switch (value.type()) {
    case Json::value_t::null:
      out.vt = VT_NULL;
      return;
    case Json::value_t::boolean:
      out.vt = VT_BOOL;
      out.boolVal = value.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      PutNumber(value.get<double>(), out);
      return;
    case Json::value_t::string: {
      const std::u16string text = DecodeUtf8(value.get_ref<const std::string&>());
      BSTR bstr = api.sys_alloc_string_len(text.data(), static_cast<uint32_t>(text.size()));
      if (bstr == nullptr) Refuse(HostError(E_OUTOFMEMORY));
      out.vt = VT_BSTR;
      out.bstrVal = bstr;
      return;
    }
    default:
      // Objects and arrays have no counterpart a control takes.
      Refuse(AsScriptEngineReports(HostError(DISP_E_TYPEMISMATCH)));
  }
}

// The JSON form of a result; nothing for an empty one. References are followed.
std::optional<Json> FromVariant(const VARIANT& value, const ComApi& api) {
  if ((value.vt & VT_ARRAY) != 0) Refuse(AsScriptEngineReports(HostError(DISP_E_TYPEMISMATCH)));
  const bool ref = (value.vt & VT_BYREF) != 0;
  if (ref && value.byref == nullptr) return std::nullopt;
  switch (value.vt & VT_TYPEMASK) {
    case VT_EMPTY:
      return std::nullopt;
    case VT_NULL:
      return Json(nullptr);
    case VT_I1:
      return Json(ref ? *static_cast<int8_t*>(value.byref) : value.cVal);
    case VT_UI1:
      return Json(ref ? *value.pbVal : value.bVal);
    case VT_I2:
      return Json(ref ? *value.piVal : value.iVal);
    case VT_UI2:
      return Json(ref ? *static_cast<uint16_t*>(value.byref) : value.uiVal);
    case VT_I4:
    case VT_INT:
      return Json(ref ? *value.plVal : value.lVal);
    case VT_UI4:
    case VT_UINT:
      return Json(ref ? *static_cast<uint32_t*>(value.byref) : value.ulVal);
    case VT_I8:
      return Json(ref ? *value.pllVal : value.llVal);
    case VT_UI8:
      return Json(ref ? *static_cast<uint64_t*>(value.byref) : value.ullVal);
    case VT_R4:
      return Json(ref ? *value.pfltVal : value.fltVal);
    case VT_R8:
    case VT_DATE:
      return Json(ref ? *value.pdblVal : value.dblVal);
    case VT_CY:
      return Json(static_cast<double>(ref ? *value.pllVal : value.cyVal) / 10000.0);
    case VT_BOOL:
      return Json((ref ? *value.pboolVal : value.boolVal) != VARIANT_FALSE);
    case VT_ERROR: {
      const HRESULT code = ref ? *value.pscode : value.scode;
      if (code == DISP_E_PARAMNOTFOUND) return std::nullopt;
      return Json(code);
    }
    case VT_BSTR: {
      BSTR text = ref ? *value.pbstrVal : value.bstrVal;
      return Json(text ? Utf8(std::u16string_view(text, api.sys_string_len(text))) : "");
    }
    case VT_VARIANT:
      if (ref) return FromVariant(*value.pvarVal, api);
      break;
    default:
      break;
  }
  // Objects stay in the bridge: a page has no way to hold them.
  Refuse(AsScriptEngineReports(HostError(DISP_E_TYPEMISMATCH)));
}

const std::string& TextField(const Json& request, const char* key) {
  auto found = request.find(key);
  if (found == request.end() || !found->is_string()) {
    BadRequest(u"请求缺少文本字段 " + DecodeUtf8(key));
  }
  return found->get_ref<const std::string&>();
}

const Json& ArgsField(const Json& request) {
  static const Json kNone = Json::array();
  auto found = request.find("args");
  if (found == request.end()) return kNone;
  if (!found->is_array()) BadRequest(u"请求的 args 不是数组");
  return *found;
}

// The host members a test page may use over the bridge: answering boxes and dialogs, reading what
// was shown. The page's files and the library's loop stay out of reach.
bool OpenToTests(std::string_view name) {
  return name == "answerMessageBox" || name == "answerFileDialog" || name == "answerFolder" ||
         name == "messages";
}

Arg ToHostArg(ArgKind kind, const Json& value) {
  Arg arg;
  switch (kind) {
    case ArgKind::kOptionalText:
      if (value.is_null()) return arg;
      [[fallthrough]];
    case ArgKind::kText:
      arg.text = value.is_string() ? DecodeUtf8(value.get_ref<const std::string&>())
                                   : DecodeUtf8(value.dump());
      return arg;
    case ArgKind::kList:
      if (value.is_array()) arg.text = DecodeUtf8(value.dump());
      return arg;
    case ArgKind::kInt:
      if (!value.is_number()) Refuse(AsScriptEngineReports(HostError(DISP_E_TYPEMISMATCH)));
      arg.number = static_cast<int32_t>(value.get<double>());
      return arg;
    case ArgKind::kFlag:
      arg.number = value.is_boolean() ? value.get<bool>() : (value.is_number() && value != 0);
      return arg;
    default:
      BadRequest(u"这个参数不能经由桥接传递");
  }
}

std::optional<Json> FromHostAnswer(ResultKind kind, const Answer& answer) {
  switch (kind) {
    case ResultKind::kText:
    case ResultKind::kOptionalText:
      if (!answer.text) return std::nullopt;
      return Json(Utf8(*answer.text));
    case ResultKind::kJson:
      if (!answer.text) return std::nullopt;
      return Json::parse(Utf8(*answer.text), nullptr, false);
    case ResultKind::kFlag:
      return Json(answer.flag);
    default:
      return std::nullopt;
  }
}

const Member* FindMember(std::span<const Member> members, std::string_view name) {
  for (const auto& member : members) {
    if (name == member.name) return &member;
  }
  return nullptr;
}

// One of the host's members for a test page, its arguments converted as its table says.
Json RunHostMember(const Member* member, const Json& request, HostPage& page, ObjectArg self) {
  if (member == nullptr) Refuse(AsScriptEngineReports(HostError(DISP_E_UNKNOWNNAME)));
  const Json& given = ArgsField(request);
  std::vector<Arg> args;
  for (size_t i = 0; i < static_cast<size_t>(member->arity) && i < given.size(); ++i) {
    args.push_back(ToHostArg(member->args[i], given[i]));
  }
  Call call{page, args, self};
  Answer answer;
  if (auto error = CallMember(*member, call, answer)) Refuse(*error);
  Json fields = Json::object();
  if (auto result = FromHostAnswer(member->result, answer)) fields["result"] = *result;
  return fields;
}

Json ErrorJson(const ScriptError& error) {
  return Json{{"number", error.number},
              {"source", Utf8(error.source)},
              {"description", Utf8(error.description)}};
}

}  // namespace

struct Calls::FormFeed {
  Calls& calls;
  ConnectionId connection;
  int64_t control;
};

struct Calls::Holdings {
  struct Control {
    IDispatch* object = nullptr;  // our reference
    const ComApi* api = nullptr;
    std::map<DISPID, MemberShape> members;
    std::shared_ptr<FormFeed> feed;  // while its form is shown in the page
  };
  // Ends the form's watch, if any: nothing of the page is left in the library.
  static void HideForm(Control& control) {
    if (!control.feed) return;
    if (control.api->form_unwatch != nullptr) control.api->form_unwatch(control.object);
    control.feed.reset();
  }
  std::map<ConnectionId, std::map<int64_t, Control>> by_connection;
  int64_t next_control = 1;
};

Calls::Calls(Make make, HostPage* tester, Push push, PictureAddresses* pictures)
    : m_make(std::move(make)),
      m_tester(tester),
      m_push(std::move(push)),
      m_pictures(pictures),
      m_held(std::make_unique<Holdings>()) {}

void Calls::AddressPictures(ConnectionId connection, Json& states) const {
  for (auto& state : states) {
    auto picture = state.find("picture");
    if (picture == state.end() || !picture->is_string() ||
        picture->get_ref<const std::string&>().empty()) {
      continue;
    }
    *picture =
        m_pictures != nullptr
            ? m_pictures->Make(DecodeUtf8(picture->get_ref<const std::string&>()), connection)
            : "";
  }
}

void Calls::FormChanged(void* context, const char16_t* json, uint32_t length) {
  auto& feed = *static_cast<FormFeed*>(context);
  Json changes = Json::parse(Utf8(std::u16string_view(json, length)), nullptr, false);
  if (!changes.is_array() || !feed.calls.m_push) return;
  feed.calls.AddressPictures(feed.connection, changes);
  Json event{{"event", "form"}, {"control", feed.control}, {"changes", std::move(changes)}};
  feed.calls.m_push(feed.connection, event.dump(-1, ' ', false, Json::error_handler_t::replace));
}

Calls::~Calls() {
  while (!m_held->by_connection.empty()) Drop(m_held->by_connection.begin()->first);
}

size_t Calls::Held(ConnectionId connection) const {
  auto found = m_held->by_connection.find(connection);
  return found == m_held->by_connection.end() ? 0 : found->second.size();
}

void Calls::Drop(ConnectionId connection) {
  auto found = m_held->by_connection.find(connection);
  if (found == m_held->by_connection.end()) return;
  auto controls = std::move(found->second);
  m_held->by_connection.erase(found);
  for (auto& [id, control] : controls) {
    Holdings::HideForm(control);
    // The page is gone: a run it started must not go on for nobody.
    if (control.api->abandon != nullptr) control.api->abandon(control.object);
    control.object->Release();
  }
}

std::string Calls::Answer(ConnectionId connection, std::string_view text) {
  Json reply = Json::object();
  reply["id"] = nullptr;
  try {
    const Json request = Json::parse(text, nullptr, false);
    if (request.is_discarded()) BadRequest(u"请求不是有效的 JSON");
    if (!request.is_object()) BadRequest(u"请求不是 JSON 对象");
    if (auto id = request.find("id"); id != request.end() && id->is_primitive()) reply["id"] = *id;
    const Json fields = Run(connection, request);
    for (auto field = fields.begin(); field != fields.end(); ++field) reply[field.key()] = *field;
  } catch (const Refusal& refusal) {
    reply["error"] = ErrorJson(refusal.error);
  } catch (const std::bad_alloc&) {
    reply["error"] = ErrorJson(HostError(E_OUTOFMEMORY));
  }
  return reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json Calls::Run(ConnectionId connection, const Json& json) {
  const std::string& op = TextField(json, "op");
  Json fields = Json::object();

  if (op == "create") {
    if (Held(connection) >= kControlsPerConnection) {
      Refuse(ScriptError{
          kCannotCreateObject,
          u"一个连接最多使用 " + DecodeUtf8(std::to_string(kControlsPerConnection)) + u" 个控件",
          kSource});
    }
    auto made = m_make(TextField(json, "progId"));
    if (auto* error = std::get_if<ScriptError>(&made)) Refuse(AsScriptEngineReports(*error));
    auto [object, api] = std::get<MadeControl>(made);
    const int64_t id = m_held->next_control++;
    auto& control = m_held->by_connection[connection][id];
    control = Holdings::Control{object, api, ReadMembers(object, *api), nullptr};
    fields["control"] = id;
    fields["methods"] = Json::array();
    fields["properties"] = Json::array();
    for (const auto& [dispid, member] : control.members) {
      if (member.name.empty()) continue;
      const bool property = (member.kinds & (INVOKE_PROPERTYGET | INVOKE_PROPERTYPUT)) != 0;
      fields[property ? "properties" : "methods"].push_back(Utf8(member.name));
    }
    return fields;
  }

  if (op == "host") {
    if (m_tester == nullptr) BadRequest(u"这个桥接程序不接受测试请求");
    const std::string& name = TextField(json, "name");
    return RunHostMember(OpenToTests(name) ? FindMember(HostMembers(), name) : nullptr, json,
                         *m_tester, {});
  }

  // The rest act on one of the connection's controls.
  if (op != "call" && op != "get" && op != "set" && op != "release" && op != "showForm" &&
      op != "hideForm" && op != "gesture" && !(op == "form" && m_tester != nullptr)) {
    BadRequest(u"未知的操作 " + DecodeUtf8(op));
  }
  auto control_field = json.find("control");
  auto held = m_held->by_connection.find(connection);
  if (control_field == json.end() || !control_field->is_number_integer() ||
      held == m_held->by_connection.end() ||
      !held->second.contains(control_field->get<int64_t>())) {
    Refuse(NoSuchControl());
  }
  const int64_t id = control_field->get<int64_t>();
  if (op == "release") {
    auto control = std::move(held->second[id]);
    held->second.erase(id);
    Holdings::HideForm(control);
    control.object->Release();
    return fields;
  }
  if (op == "showForm") {
    auto& control = held->second[id];
    if (control.api->form_watch == nullptr) BadRequest(u"控件库不能把窗体交给页面");
    auto feed = std::make_shared<FormFeed>(FormFeed{*this, connection, id});
    Bstr form(*control.api);
    const HRESULT hr =
        control.api->form_watch(control.object, &FormChanged, feed.get(), form.Out());
    if (hr < 0) Refuse(AsScriptEngineReports(ErrorFromCall(hr, nullptr, *control.api)));
    control.feed = std::move(feed);
    Json shown = Json::parse(Utf8(form.Text()), nullptr, false);
    if (!shown.is_object()) Refuse(HostError(E_FAIL));
    AddressPictures(connection, shown["children"]);
    fields["result"] = std::move(shown);
    return fields;
  }
  if (op == "hideForm") {
    Holdings::HideForm(held->second[id]);
    return fields;
  }
  // A copy, and a reference of the call's own: the loop runs inside the call, where the page may
  // release the control or close its connection.
  const Holdings::Control control = held->second[id];
  const ComApi& api = *control.api;
  control.object->AddRef();
  struct Hold {
    IDispatch* object;
    ~Hold() { object->Release(); }
  } hold{control.object};

  if (op == "gesture") {
    if (api.form_act == nullptr) BadRequest(u"控件库不能把窗体交给页面");
    std::u16string child = DecodeUtf8(TextField(json, "name"));
    std::u16string action = DecodeUtf8(TextField(json, "action"));
    Arguments value(api, 1);
    const VARIANT* argument = nullptr;
    if (auto given = json.find("value"); given != json.end()) {
      // A tick is 0 or 1 to the form, as a person's click makes it.
      ToVariant(given->is_boolean() ? Json(given->get<bool>() ? 1 : 0) : *given, api,
                value.Value(0));
      argument = &value.Value(0);
    }
    EXCEPINFO excep{};
    const HRESULT hr =
        api.form_act(control.object, child.c_str(), action.c_str(), argument, &excep);
    if (hr == E_ACCESSDENIED) {
      Refuse(ScriptError{static_cast<int32_t>(0x800A0046u), u"拒绝的权限", kSource});
    }
    // No such child or action, or an item outside the list.
    if (hr == E_INVALIDARG) Refuse(HostError(kInvalidArgument, kSource));
    if (hr < 0) Refuse(AsScriptEngineReports(ErrorFromCall(hr, &excep, api)));
    return fields;
  }
  if (op == "form") {
    return RunHostMember(FindMember(FormMembers(), TextField(json, "name")), json, *m_tester,
                         ObjectArg{control.object, &api});
  }

  std::u16string name = DecodeUtf8(TextField(json, "name"));
  OLECHAR* names[] = {name.data()};
  DISPID dispid = 0;
  if (HRESULT hr = control.object->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid); hr < 0) {
    Refuse(AsScriptEngineReports(ErrorFromCall(hr, nullptr, api)));
  }

  const bool put = op == "set";
  Json given = Json::array();
  if (put) {
    auto value = json.find("value");
    if (value == json.end()) BadRequest(u"请求缺少 value 字段");
    given.push_back(*value);
  } else if (op == "call") {
    given = ArgsField(json);
  }
  Arguments args(api, given.size());
  for (size_t i = 0; i < given.size(); ++i) ToVariant(given[i], api, args.Value(i));
  bool any_by_ref = false;
  if (auto member = control.members.find(dispid); member != control.members.end() && !put) {
    for (size_t i = 0; i < args.Count() && i < member->second.by_ref.size(); ++i) {
      if (member->second.by_ref[i]) {
        args.ByRef(i);
        any_by_ref = true;
      }
    }
  }
  std::vector<VARIANT> params = args.Reversed();
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS dispparams{params.data(), nullptr, static_cast<uint32_t>(params.size()), 0};
  uint16_t flags = DISPATCH_PROPERTYGET;
  if (put) {
    flags = DISPATCH_PROPERTYPUT;
    dispparams.rgdispidNamedArgs = &put_id;
    dispparams.cNamedArgs = 1;
  } else if (op == "call") {
    flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  }
  VARIANT result;
  api.variant_init(&result);
  EXCEPINFO excep{};
  uint32_t arg_error = 0;
  const HRESULT hr =
      control.object->Invoke(dispid, IID_NULL, 0, flags, &dispparams, &result, &excep, &arg_error);
  if (hr < 0) {
    api.variant_clear(&result);
    Refuse(AsScriptEngineReports(ErrorFromCall(hr, &excep, api)));
  }
  try {
    if (auto value = FromVariant(result, api)) fields["result"] = *value;
    if (any_by_ref) {
      fields["args"] = Json::array();
      for (size_t i = 0; i < args.Count(); ++i) {
        auto value = FromVariant(args.Value(i), api);
        fields["args"].push_back(value ? *value : Json(nullptr));
      }
    }
  } catch (...) {
    api.variant_clear(&result);
    throw;
  }
  api.variant_clear(&result);
  return fields;
}

}  // namespace velmaris::host::bridge
