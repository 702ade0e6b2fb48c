#include "server/binding.h"

namespace velmaris::server {

namespace {

std::vector<ControlBinding>& Bindings() {
  static std::vector<ControlBinding> bindings;
  return bindings;
}

}  // namespace

const MemberBinding* ControlBinding::Find(com::DISPID member, Kind kind) const {
  for (const auto& bound : members) {
    if (bound.id == member && bound.kind == kind) return &bound;
  }
  return nullptr;
}

bool RegisterBinding(ControlBinding binding) {
  Bindings().push_back(std::move(binding));
  return true;
}

const ControlBinding* FindBinding(ClassId id) {
  for (const auto& binding : Bindings()) {
    if (binding.id == id) return &binding;
  }
  return nullptr;
}

}  // namespace velmaris::server
