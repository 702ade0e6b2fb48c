#include "host/dispatch_proxy.h"

#include <string>
#include <vector>

#include "host/errors.h"
#include "host/members_of.h"
#include "host/script_support.h"
#include "host/variant.h"

namespace velmaris::host {

using namespace com;

namespace {

// Hidden keys: on the target (the proxy's private half) and, for lookups that must bypass the
// traps, on the proxy itself.
constexpr const char* kObjectKey = DUK_HIDDEN_SYMBOL("dispatch");
constexpr const char* kApiKey = DUK_HIDDEN_SYMBOL("api");
constexpr const char* kTargetKey = DUK_HIDDEN_SYMBOL("target");
constexpr const char* kDispidKey = DUK_HIDDEN_SYMBOL("dispid");
constexpr const char* kHandlerKey = DUK_HIDDEN_SYMBOL("dispatchHandler");
constexpr const char* kKindsKey = DUK_HIDDEN_SYMBOL("kinds");

// Calls `id` with the script values at [first, first + count) and pushes its result, or the
// script error when the call fails.
bool InvokeAndPush(duk_context* ctx, IDispatch* object, const ComApi& api, DISPID id,
                   uint16_t flags, duk_idx_t first, duk_idx_t count) {
  std::vector<VARIANT> args(static_cast<size_t>(count));
  for (auto& arg : args) api.variant_init(&arg);
  auto clear_args = [&] {
    for (auto& arg : args) api.variant_clear(&arg);
  };
  for (duk_idx_t i = 0; i < count; ++i) {
    // Arguments travel in reverse order.
    if (!ToVariant(ctx, first + i, api, args[static_cast<size_t>(count - 1 - i)])) {
      clear_args();
      PushScriptError(ctx, HostError(kTypeMismatch));
      return false;
    }
  }
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.data(), nullptr, static_cast<uint32_t>(count), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  api.variant_init(&result);
  EXCEPINFO excep{};
  uint32_t arg_err = 0;
  HRESULT hr = object->Invoke(id, IID_NULL, 0, flags, &params, &result, &excep, &arg_err);
  clear_args();
  if (hr < 0) {
    api.variant_clear(&result);
    PushScriptError(ctx, ErrorFromCall(hr, &excep, api));
    return false;
  }
  bool pushed = PushVariant(ctx, result, api);
  api.variant_clear(&result);
  if (!pushed) PushScriptError(ctx, HostError(kTypeMismatch));
  return pushed;
}

bool FindMember(duk_context* ctx, IDispatch* object, const ComApi& api, duk_idx_t key, DISPID& id) {
  std::u16string name = GetText(ctx, key);
  OLECHAR* names[] = {name.data()};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  if (hr < 0) {
    PushScriptError(ctx, ErrorFromCall(hr, nullptr, api));
    return false;
  }
  return true;
}

// The kinds of member `id` of the object behind the target at `target`, read from its type
// information once and kept on the target.
int MemberKinds(duk_context* ctx, duk_idx_t target, IDispatch* object, DISPID id) {
  target = duk_normalize_index(ctx, target);
  if (!duk_get_prop_string(ctx, target, kKindsKey)) {
    duk_pop(ctx);
    duk_push_bare_object(ctx);
    const auto& api = *static_cast<const ComApi*>(GetHiddenPointer(ctx, target, kApiKey));
    for (const auto& [member, shape] : ReadMembers(object, api)) {
      duk_push_int(ctx, shape.kinds);
      duk_put_prop_string(ctx, -2, std::to_string(member).c_str());
    }
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, target, kKindsKey);
  }
  duk_get_prop_string(ctx, -1, std::to_string(id).c_str());
  int kinds = duk_get_int_default(ctx, -1, 0);
  duk_pop_2(ctx);
  return kinds;
}

// The object behind the target at `target`; pushes an error when it was already released.
IDispatch* LiveObject(duk_context* ctx, duk_idx_t target) {
  auto* object = static_cast<IDispatch*>(GetHiddenPointer(ctx, target, kObjectKey));
  if (object == nullptr) PushScriptError(ctx, HostError(E_UNEXPECTED));
  return object;
}

duk_ret_t CallMember(duk_context* ctx);

bool GetMember(duk_context* ctx) {
  return Guarded(ctx, [&] {
    IDispatch* object = LiveObject(ctx, 0);
    if (object == nullptr) return false;
    const auto& api = *static_cast<const ComApi*>(GetHiddenPointer(ctx, 0, kApiKey));
    DISPID id = 0;
    if (!FindMember(ctx, object, api, 1, id)) {
      // Conversions the engine itself looks up must not fail on an object without them.
      std::u16string name = GetText(ctx, 1);
      if (name != u"toString" && name != u"valueOf" && name != u"toJSON") return false;
      duk_pop(ctx);
      if (name == u"toJSON") {
        duk_push_undefined(ctx);
      } else {
        duk_push_c_function(
            ctx,
            [](duk_context* c) -> duk_ret_t {
              duk_push_string(c, "[object]");
              return 1;
            },
            0);
      }
      return true;
    }
    // A method reads as a function that calls it; a property, or a member the object does not
    // describe, as its value.
    const int kinds = MemberKinds(ctx, 0, object, id);
    if ((kinds & INVOKE_FUNC) == 0 || (kinds & INVOKE_PROPERTYGET) != 0) {
      return InvokeAndPush(ctx, object, api, id, DISPATCH_PROPERTYGET, 0, 0);
    }
    duk_push_c_function(ctx, CallMember, DUK_VARARGS);
    duk_dup(ctx, 0);
    duk_put_prop_string(ctx, -2, kTargetKey);
    duk_push_int(ctx, id);
    duk_put_prop_string(ctx, -2, kDispidKey);
    return true;
  });
}

duk_ret_t GetTrap(duk_context* ctx) {
  // Symbols (the engine's own conversion hooks) are none of the object's members.
  if (duk_is_symbol(ctx, 1)) return 0;
  if (!GetMember(ctx)) return duk_throw(ctx);
  return 1;
}

bool SetMember(duk_context* ctx) {
  return Guarded(ctx, [&] {
    IDispatch* object = LiveObject(ctx, 0);
    if (object == nullptr) return false;
    const auto& api = *static_cast<const ComApi*>(GetHiddenPointer(ctx, 0, kApiKey));
    DISPID id = 0;
    if (!FindMember(ctx, object, api, 1, id)) return false;
    if (!InvokeAndPush(ctx, object, api, id, DISPATCH_PROPERTYPUT, 2, 1)) return false;
    duk_pop(ctx);
    duk_push_true(ctx);
    return true;
  });
}

duk_ret_t SetTrap(duk_context* ctx) {
  if (duk_is_symbol(ctx, 1)) {
    duk_push_false(ctx);
    return 1;
  }
  if (!SetMember(ctx)) return duk_throw(ctx);
  return 1;
}

duk_ret_t HasTrap(duk_context* ctx) {
  bool found = false;
  if (!duk_is_symbol(ctx, 1)) {
    found = Guarded(ctx, [&] {
      IDispatch* object = LiveObject(ctx, 0);
      if (object == nullptr) return false;
      std::u16string name = GetText(ctx, 1);
      OLECHAR* names[] = {name.data()};
      DISPID id = 0;
      return object->GetIDsOfNames(IID_NULL, names, 1, 0, &id) >= 0;
    });
  }
  duk_push_boolean(ctx, found);
  return 1;
}

bool CallMemberWork(duk_context* ctx, duk_idx_t count) {
  return Guarded(ctx, [&] {
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kTargetKey);
    duk_get_prop_string(ctx, -2, kDispidKey);
    DISPID id = duk_get_int(ctx, -1);
    duk_pop(ctx);
    duk_idx_t target = duk_get_top_index(ctx);
    IDispatch* object = LiveObject(ctx, target);
    if (object == nullptr) return false;
    const auto& api = *static_cast<const ComApi*>(GetHiddenPointer(ctx, target, kApiKey));
    return InvokeAndPush(ctx, object, api, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, count);
  });
}

duk_ret_t CallMember(duk_context* ctx) {
  if (!CallMemberWork(ctx, duk_get_top(ctx))) return duk_throw(ctx);
  return 1;
}

duk_ret_t ReleaseObject(duk_context* ctx) {
  auto* object = static_cast<IDispatch*>(GetHiddenPointer(ctx, 0, kObjectKey));
  if (object != nullptr) {
    // Cleared first: a finalizer may run again on an object it rescued.
    PutHiddenPointer(ctx, 0, kObjectKey, nullptr);
    object->Release();
  }
  return 0;
}

void PushHandler(duk_context* ctx) {
  duk_push_global_stash(ctx);
  if (!duk_get_prop_string(ctx, -1, kHandlerKey)) {
    duk_pop(ctx);
    duk_push_object(ctx);
    duk_push_c_function(ctx, GetTrap, 3);
    duk_put_prop_string(ctx, -2, "get");
    duk_push_c_function(ctx, SetTrap, 4);
    duk_put_prop_string(ctx, -2, "set");
    duk_push_c_function(ctx, HasTrap, 2);
    duk_put_prop_string(ctx, -2, "has");
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, kHandlerKey);
  }
  duk_remove(ctx, -2);
}

}  // namespace

void PushDispatch(duk_context* ctx, IDispatch* object, const ComApi& api) {
  duk_push_object(ctx);
  PutHiddenPointer(ctx, -1, kObjectKey, object);
  PutHiddenPointer(ctx, -1, kApiKey, &api);
  duk_push_c_function(ctx, ReleaseObject, 1);
  duk_set_finalizer(ctx, -2);
  PushHandler(ctx);
  duk_push_proxy(ctx, 0);
  // Hidden keys on a proxy bypass its traps, so the host can find the object behind it.
  PutHiddenPointer(ctx, -1, kObjectKey, object);
  PutHiddenPointer(ctx, -1, kApiKey, &api);
}

IDispatch* DispatchOf(duk_context* ctx, duk_idx_t index) {
  return static_cast<IDispatch*>(GetHiddenPointer(ctx, index, kObjectKey));
}

const ComApi* ApiOf(duk_context* ctx, duk_idx_t index) {
  return static_cast<const ComApi*>(GetHiddenPointer(ctx, index, kApiKey));
}

}  // namespace velmaris::host
