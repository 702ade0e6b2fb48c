// Binding a control's C++ class to its dispatch interface. A binding maps each member of the
// interface (by dispatch id and kind) to a small function that calls the control; the member's
// signature stays in the dispatch table. Each bound control has one file under server/bindings/
// that registers its binding when the library loads; a class without a binding is neither
// creatable nor registered.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/forms.h"
#include "platform/platform.h"
#include "server/bstr.h"
#include "server/dispatch_table.h"

namespace velmaris::server {

// A control behind a COM object, whatever its class.
class ControlInstance {
 public:
  virtual ~ControlInstance() = default;
  virtual Form& GetForm() = 0;
  // The page that held the control is gone: whatever it runs ends at its next step.
  virtual void Abandon() = 0;
};

// One call's arguments, already coerced to the member's parameter types, and its result.
class Call {
 public:
  using Arg = std::variant<std::u16string, int32_t, bool, com::Variant>;

  Call() = default;
  explicit Call(std::vector<Arg> args) : m_args(std::move(args)) {}

  const std::u16string& Str(size_t index) const {
    return std::get<std::u16string>(m_args.at(index));
  }
  int32_t Int(size_t index) const { return std::get<int32_t>(m_args.at(index)); }
  bool Bool(size_t index) const { return std::get<bool>(m_args.at(index)); }
  const com::VARIANT& Var(size_t index) const {
    return std::get<com::Variant>(m_args.at(index)).Get();
  }
  size_t Count() const { return m_args.size(); }

  void Return(std::u16string_view text) { m_result = com::Variant(text); }
  void Return(int32_t number) { m_result = com::Variant(number); }
  void Return(bool flag) { m_result = com::Variant(flag); }
  com::Variant& Result() { return m_result; }

 private:
  std::vector<Arg> m_args;
  com::Variant m_result;
};

struct MemberBinding {
  com::DISPID id;
  Kind kind;
  std::function<void(ControlInstance&, Call&)> run;
};

struct ControlBinding {
  ClassId id;
  std::function<std::unique_ptr<ControlInstance>(Platform&)> create;
  std::vector<MemberBinding> members;

  const MemberBinding* Find(com::DISPID member, Kind kind) const;
};

// Adds a binding; returns true so a binding file can register from a static initialiser.
bool RegisterBinding(ControlBinding binding);
// The binding of a class, or null while its control is not bound.
const ControlBinding* FindBinding(ClassId id);

template <class C>
class Instance final : public ControlInstance {
 public:
  explicit Instance(Platform& platform) : m_control(platform) {}
  Form& GetForm() override { return m_control.GetForm(); }
  // Every run of a control goes through its transfer: a folder walk, a batch or an import
  // stops at its next request.
  void Abandon() override { m_control.Transfer().Abandon(); }
  C& Control() { return m_control; }

 private:
  C m_control;
};

template <class C>
struct Bound {
  com::DISPID id;
  Kind kind;
  void (*run)(C& control, Call& call);
};

// The binding of control class C: `members` as {dispatch id, kind, [](C&, Call&) {...}}.
template <class C>
ControlBinding BindControl(ClassId id, std::initializer_list<Bound<C>> members) {
  ControlBinding binding{
      id, [](Platform& platform) { return std::make_unique<Instance<C>>(platform); }, {}};
  for (const auto& member : members) {
    auto run = member.run;
    binding.members.push_back(
        {member.id, member.kind, [run](ControlInstance& instance, Call& call) {
           run(static_cast<Instance<C>&>(instance).Control(), call);
         }});
  }
  return binding;
}

}  // namespace velmaris::server
