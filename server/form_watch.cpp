// Following a control's form from outside the library, for a renderer that lives in the host (the
// bridge draws forms in a browser page): the whole form once, then what changed, once per pass of
// the thread's loop.
#include <map>
#include <memory>
#include <vector>

#include "platform/forms.h"
#include "server/bstr.h"
#include "server/control_access.h"
#include "server/export.h"
#include "server/form_json.h"
#include "server/host_api.h"
#include "server/module1.h"

using velmaris::com::BSTR;
using velmaris::com::HRESULT;
using velmaris::com::IUnknown;

namespace {

namespace com = velmaris::com;
namespace server = velmaris::server;
using velmaris::Form;
using velmaris::FormControl;

class FormWatch : public std::enable_shared_from_this<FormWatch> {
 public:
  FormWatch(IUnknown* control, Form& form, VelmarisFormProc proc, void* context)
      : m_control(control), m_form(form), m_proc(proc), m_context(context) {
    // The watch keeps the control, and so its form, alive until it ends.
    m_control->AddRef();
  }
  ~FormWatch() { m_control->Release(); }
  FormWatch(const FormWatch&) = delete;
  FormWatch& operator=(const FormWatch&) = delete;

  void Start() {
    const auto& children = m_form.Children();
    m_changed.assign(children.size(), false);
    for (size_t i = 0; i < children.size(); ++i) {
      auto& handler = children[i]->on_state_changed;
      m_previous.push_back(handler);
      handler = [weak = weak_from_this(), i, previous = handler](const FormControl& child) {
        if (previous) previous(child);
        if (auto watch = weak.lock()) watch->Changed(i);
      };
    }
  }

  // Gives the children their handlers back.
  void Stop() {
    const auto& children = m_form.Children();
    for (size_t i = 0; i < children.size() && i < m_previous.size(); ++i) {
      children[i]->on_state_changed = m_previous[i];
    }
  }

 private:
  void Changed(size_t index) {
    m_changed[index] = true;
    if (m_posted) return;
    m_posted = true;
    server::Module1::Current().Loop().Post([weak = weak_from_this()] {
      if (auto watch = weak.lock()) watch->Deliver();
    });
  }

  void Deliver() {
    m_posted = false;
    server::JsonWriter json;
    json.BeginArray();
    const auto& children = m_form.Children();
    for (size_t i = 0; i < m_changed.size() && i < children.size(); ++i) {
      if (m_changed[i]) server::WriteControl(json, *children[i]);
      m_changed[i] = false;
    }
    json.EndArray();
    const auto& text = json.Text();
    // Its receiver may run the loop or end the watch: this object lives to the end of the call.
    auto keep = shared_from_this();
    m_proc(m_context, text.data(), static_cast<uint32_t>(text.size()));
  }

  IUnknown* m_control;
  Form& m_form;
  VelmarisFormProc m_proc;
  void* m_context;
  std::vector<std::function<void(const FormControl&)>> m_previous;
  std::vector<bool> m_changed;
  bool m_posted = false;
};

// The watches of this thread's forms.
std::map<const Form*, std::shared_ptr<FormWatch>>& Watches() {
  thread_local std::map<const Form*, std::shared_ptr<FormWatch>> watches;
  return watches;
}

}  // namespace

extern "C" {

VELMARIS_EXPORT HRESULT VelmarisFormWatch(IUnknown* control, VelmarisFormProc proc, void* context,
                                          BSTR* form_json) {
  if (form_json == nullptr) return com::E_POINTER;
  *form_json = nullptr;
  if (control == nullptr || proc == nullptr) return com::E_POINTER;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  Form& form = access.GetForm();
  try {
    server::JsonWriter json;
    server::WriteForm(json, form);
    *form_json = com::AllocBstr(json.Text());
    if (*form_json == nullptr) return com::E_OUTOFMEMORY;
    auto& watches = Watches();
    const bool replaced = watches.contains(&form);
    if (replaced) {
      watches[&form]->Stop();
      watches.erase(&form);
    }
    auto watch = std::make_shared<FormWatch>(control, form, proc, context);
    watch->Start();
    watches.emplace(&form, std::move(watch));
    return replaced ? com::S_FALSE : com::S_OK;
  } catch (...) {
    return com::E_OUTOFMEMORY;
  }
}

VELMARIS_EXPORT HRESULT VelmarisFormUnwatch(IUnknown* control) {
  if (control == nullptr) return com::E_POINTER;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  auto& watches = Watches();
  auto found = watches.find(&access.GetForm());
  if (found == watches.end()) return com::S_FALSE;
  auto watch = std::move(found->second);
  watches.erase(found);
  watch->Stop();
  return com::S_OK;
}

}  // extern "C"
