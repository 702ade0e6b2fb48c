#include "host/entry_points.h"

#include "host/com_api.h"

namespace velmaris::host {

bool ResolveEntryPoints(void* module, SymbolLookup lookup, ComApi& api, std::string& missing) {
  missing.clear();
#define VELMARIS_REQUIRE(field, symbol)                                       \
  api.field = reinterpret_cast<decltype(api.field)>(lookup(module, #symbol)); \
  if (api.field == nullptr && missing.empty()) missing = #symbol;
#define VELMARIS_OPTIONAL(field, symbol) \
  api.field = reinterpret_cast<decltype(api.field)>(lookup(module, #symbol));
  VELMARIS_LIBRARY_ENTRY_POINTS(VELMARIS_REQUIRE)
  VELMARIS_HOST_SERVICES(VELMARIS_OPTIONAL)
#undef VELMARIS_REQUIRE
#undef VELMARIS_OPTIONAL
  return missing.empty();
}

std::shared_ptr<const ComApi> LoadEntryPoints(void* module, SymbolLookup lookup,
                                              std::string& missing) {
  auto api = std::make_shared<ComApi>();
  if (!ResolveEntryPoints(module, lookup, *api, missing)) return nullptr;
  return api;
}

bool CanUnload(const ComApi& api) {
  return api.can_unload_now() == com::S_OK;
}

bool UseAnsweredDialogs(const ComApi& api) {
  return api.use_answered_dialogs == nullptr || api.use_answered_dialogs() >= 0;
}

int32_t UseScreen(const ComApi& api) {
  return api.use_screen != nullptr ? api.use_screen() : com::E_NOTIMPL;
}

void ShowForm(const ComApi& api, void* control) {
  if (api.show_form != nullptr) api.show_form(static_cast<com::IUnknown*>(control));
}

void RunUntilFormsClosed(const ComApi& api) {
  if (api.run_until_forms_closed != nullptr) api.run_until_forms_closed();
}

}  // namespace velmaris::host
