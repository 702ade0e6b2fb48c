#include "host/host_object.h"

#include <memory>
#include <string>
#include <vector>

#include "host/dispatch_proxy.h"
#include "host/host_members.h"
#include "host/page_runner.h"
#include "host/script_support.h"
#include "host/session.h"

namespace velmaris::host {

namespace {

constexpr const char* kControlKey = DUK_HIDDEN_SYMBOL("control");
constexpr const char* kLaterKey = DUK_HIDDEN_SYMBOL("later");

// A function's magic tells which member it stands for: a form's members count from here.
constexpr duk_int_t kFormMagic = 0x100;

// A host.later callback: the function waits in its page's stash under an id of its own.
class StashedCallback final : public Callback {
 public:
  StashedCallback(duk_context* ctx, duk_idx_t index) : m_ctx(ctx), m_id(++s_next_id) {
    index = duk_normalize_index(ctx, index);
    duk_push_global_stash(ctx);
    if (!duk_get_prop_string(ctx, -1, kLaterKey)) {
      duk_pop(ctx);
      duk_push_object(ctx);
      duk_dup_top(ctx);
      duk_put_prop_string(ctx, -3, kLaterKey);
    }
    duk_dup(ctx, index);
    duk_put_prop_index(ctx, -2, m_id);
    duk_pop_2(ctx);
  }
  ~StashedCallback() override {
    duk_push_global_stash(m_ctx);
    if (duk_get_prop_string(m_ctx, -1, kLaterKey)) duk_del_prop_index(m_ctx, -1, m_id);
    duk_pop_2(m_ctx);
  }
  StashedCallback(const StashedCallback&) = delete;
  StashedCallback& operator=(const StashedCallback&) = delete;

  bool Run() override {
    duk_context* ctx = m_ctx;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kLaterKey);
    duk_get_prop_index(ctx, -1, m_id);
    duk_del_prop_index(ctx, -2, m_id);
    const bool ran = duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS;
    // Nobody is there to catch it: reported like an uncaught error of the page.
    if (!ran) ReportUncaught(ctx);
    duk_pop_3(ctx);
    return ran;
  }

 private:
  static inline uint32_t s_next_id = 0;
  duk_context* m_ctx;
  uint32_t m_id;
};

const Member& MemberOf(duk_context* ctx) {
  const duk_int_t magic = duk_get_current_magic(ctx);
  return magic >= kFormMagic ? FormMembers()[static_cast<size_t>(magic - kFormMagic)]
                             : HostMembers()[static_cast<size_t>(magic)];
}

ObjectArg ObjectAt(duk_context* ctx, duk_idx_t index) {
  return ObjectArg{DispatchOf(ctx, index), ApiOf(ctx, index)};
}

// The engine's own conversions, made before any C++ object exists: they may run script, and
// script may throw.
void Coerce(duk_context* ctx, const Member& member) {
  for (duk_idx_t i = 0; i < member.arity; ++i) {
    switch (member.args[static_cast<size_t>(i)]) {
      case ArgKind::kText:
        duk_to_string(ctx, i);
        break;
      case ArgKind::kOptionalText:
        if (!duk_is_null_or_undefined(ctx, i)) duk_to_string(ctx, i);
        break;
      case ArgKind::kInt:
        duk_to_int32(ctx, i);
        break;
      case ArgKind::kFlag:
        duk_to_boolean(ctx, i);
        break;
      case ArgKind::kList:
        if (duk_is_array(ctx, i)) {
          duk_json_encode(ctx, i);
        } else {
          duk_push_undefined(ctx);
          duk_replace(ctx, i);
        }
        break;
      case ArgKind::kObject:
        break;
      case ArgKind::kFunction:
        duk_require_function(ctx, i);
        break;
      case ArgKind::kAllText:
        duk_push_string(ctx, " ");
        duk_insert(ctx, 0);
        duk_join(ctx, duk_get_top(ctx) - 1);
        // Joining nothing leaves the blank below the empty text.
        duk_insert(ctx, 0);
        duk_set_top(ctx, 1);
        break;
    }
  }
}

// Runs the member on the coerced arguments and pushes its answer (a script: its source and
// name), or the script error.
bool CallWork(duk_context* ctx, const Member& member, bool form) {
  return Guarded(ctx, [&] {
    std::vector<Arg> args(static_cast<size_t>(member.arity));
    for (duk_idx_t i = 0; i < member.arity; ++i) {
      Arg& arg = args[static_cast<size_t>(i)];
      switch (member.args[static_cast<size_t>(i)]) {
        case ArgKind::kInt:
          arg.number = duk_get_int(ctx, i);
          break;
        case ArgKind::kFlag:
          arg.number = duk_get_boolean(ctx, i) ? 1 : 0;
          break;
        case ArgKind::kObject:
          arg.object = ObjectAt(ctx, i);
          break;
        case ArgKind::kFunction:
          arg.callback = std::make_unique<StashedCallback>(ctx, i);
          break;
        default:
          if (duk_is_string(ctx, i)) arg.text = GetText(ctx, i);
          break;
      }
    }
    ObjectArg self;
    if (form) {
      duk_push_current_function(ctx);
      duk_get_prop_string(ctx, -1, kControlKey);
      self = ObjectAt(ctx, -1);
      duk_pop_2(ctx);
    }
    Call call{SessionOf(ctx), args, self};
    Answer answer;
    if (auto error = CallMember(member, call, answer)) {
      PushScriptError(ctx, *error);
      return false;
    }
    switch (member.result) {
      case ResultKind::kText:
      case ResultKind::kOptionalText:
      case ResultKind::kJson:
        if (answer.text) {
          PushText(ctx, *answer.text);
        } else {
          duk_push_undefined(ctx);
        }
        break;
      case ResultKind::kFlag:
        duk_push_boolean(ctx, answer.flag);
        break;
      case ResultKind::kScript:
        duk_push_lstring(ctx, answer.source.data(), answer.source.size());
        PushText(ctx, answer.text.value_or(u""));
        break;
      case ResultKind::kNone:
      case ResultKind::kForm:
        duk_push_undefined(ctx);
        break;
    }
    return true;
  });
}

duk_ret_t MemberFunction(duk_context* ctx);

void PushMember(duk_context* ctx, const Member& member, duk_int_t magic) {
  const bool all = member.arity == 1 && member.args[0] == ArgKind::kAllText;
  duk_push_c_function(ctx, MemberFunction, all ? DUK_VARARGS : member.arity);
  duk_set_magic(ctx, -1, magic);
}

// The object host.form(ctrl) answers: the form's members, each keeping the control alive.
void PushForm(duk_context* ctx, duk_idx_t control) {
  duk_push_object(ctx);
  duk_int_t magic = kFormMagic;
  for (const Member& member : FormMembers()) {
    PushMember(ctx, member, magic++);
    duk_dup(ctx, control);
    duk_put_prop_string(ctx, -2, kControlKey);
    duk_put_prop_string(ctx, -2, member.name);
  }
}

duk_ret_t MemberFunction(duk_context* ctx) {
  const bool form = duk_get_current_magic(ctx) >= kFormMagic;
  const Member& member = MemberOf(ctx);
  Coerce(ctx, member);
  if (!CallWork(ctx, member, form)) return duk_throw(ctx);
  switch (member.result) {
    case ResultKind::kNone:
      return 0;
    case ResultKind::kJson:
      duk_json_decode(ctx, -1);
      return 1;
    case ResultKind::kScript:
      // Runs as global code, so its functions and variables become the page's.
      duk_compile(ctx, 0);
      duk_call(ctx, 0);
      return 0;
    case ResultKind::kForm:
      PushForm(ctx, 0);
      return 1;
    default:
      return 1;
  }
}

}  // namespace

void DefineHost(duk_context* ctx) {
  duk_push_object(ctx);
  duk_int_t magic = 0;
  for (const Member& member : HostMembers()) {
    switch (member.kind) {
      case MemberKind::kGlobal:
        PushMember(ctx, member, magic++);
        duk_put_global_string(ctx, member.name);
        break;
      case MemberKind::kMethod:
        PushMember(ctx, member, magic++);
        duk_put_prop_string(ctx, -2, member.name);
        break;
      case MemberKind::kGetter:
        duk_push_string(ctx, member.name);
        PushMember(ctx, member, magic++);
        duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE);
        break;
      case MemberKind::kValue:
        PushMember(ctx, member, magic++);
        duk_call(ctx, 0);
        duk_put_prop_string(ctx, -2, member.name);
        break;
    }
  }
  duk_put_global_string(ctx, "host");
}

}  // namespace velmaris::host
