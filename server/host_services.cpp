// The services a page host needs beside the entry points: running the thread's message loop,
// answering dialogs ahead of time, reading what was shown, and reading or driving a control's
// form as a user would.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/forms.h"
#include "server/bstr.h"
#include "server/coerce.h"
#include "server/control_access.h"
#include "server/control_object.h"
#include "server/exception.h"
#include "server/export.h"
#include "server/form_json.h"
#include "server/host_api.h"
#include "server/json.h"
#include "server/module1.h"

using velmaris::com::BSTR;
using velmaris::com::EXCEPINFO;
using velmaris::com::HRESULT;
using velmaris::com::IUnknown;
using velmaris::com::OLECHAR;
using velmaris::com::VARIANT;

namespace {

namespace com = velmaris::com;
namespace server = velmaris::server;
using velmaris::ControlKind;
using velmaris::Form;
using velmaris::FormControl;

HRESULT ReturnText(const std::u16string& text, BSTR* out) {
  *out = com::AllocBstr(text);
  return *out != nullptr ? com::S_OK : com::E_OUTOFMEMORY;
}

// A user reaches a control only while it and every frame around it are enabled and visible.
bool Reachable(Form& form, const FormControl& control) {
  const FormControl* at = &control;
  for (size_t depth = 0; at != nullptr && depth <= form.Children().size(); ++depth) {
    if (!at->Enabled() || !at->Visible()) return false;
    at = at->Container().empty() ? nullptr : form.Find(at->Container());
  }
  return true;
}

// The argument of an action that takes an item index: one of the list's items.
HRESULT ItemIndex(const FormControl& control, const VARIANT* argument, int32_t& index) {
  if (argument == nullptr) return com::E_INVALIDARG;
  if (HRESULT hr = com::ToInt32(*argument, index); hr != com::S_OK) return hr;
  return index >= 0 && index < static_cast<int32_t>(control.Items().size()) ? com::S_OK
                                                                            : com::E_INVALIDARG;
}

template <typename F>
void Fire(const std::function<F>& handler, auto&&... args) {
  if (handler) handler(args...);
}

}  // namespace

extern "C" {

VELMARIS_EXPORT HRESULT VelmarisPump(int32_t milliseconds) {
  if (milliseconds < 0) return com::E_INVALIDARG;
  try {
    server::Module1::Current().Loop().RunFor(std::chrono::milliseconds(milliseconds));
  } catch (...) {
    return com::E_FAIL;
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisLater(int32_t milliseconds, VelmarisLaterProc proc, void* context) {
  if (milliseconds < 0 || proc == nullptr) return com::E_INVALIDARG;
  try {
    auto& loop = server::Module1::Current().Loop();
    // At once: posted, so it runs in turn with what is already waiting (a timer would come after
    // every other message on Windows, whose loop lets timers through only when nothing else waits).
    if (milliseconds == 0) {
      loop.Post([proc, context] { proc(context); });
      return com::S_OK;
    }
    // A repeating loop timer that removes itself on its first tick.
    auto id = std::make_shared<int>(0);
    *id = loop.AddTimer(std::chrono::milliseconds(milliseconds), [&loop, id, proc, context] {
      loop.RemoveTimer(*id);
      proc(context);
    });
  } catch (...) {
    return com::E_FAIL;
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisCurrentLoop(VelmarisLoop* loop) {
  if (loop == nullptr) return com::E_POINTER;
  *loop = nullptr;
  try {
    // Handing the loop out fixes the thread's choice: the screen can no longer replace it.
    auto& module = server::Module1::Current();
    *loop = reinterpret_cast<VelmarisLoop>(&module.GetPlatform().loop);
  } catch (...) {
    return com::E_FAIL;
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisPost(VelmarisLoop loop, VelmarisLaterProc proc, void* context) {
  if (loop == nullptr || proc == nullptr) return com::E_INVALIDARG;
  try {
    reinterpret_cast<velmaris::MessageLoop*>(loop)->Post([proc, context] { proc(context); });
  } catch (...) {
    return com::E_FAIL;
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisMessageBox(const OLECHAR* text, const OLECHAR* caption,
                                           int32_t style, int32_t* answer) {
  if (text == nullptr || answer == nullptr) return com::E_POINTER;
  *answer = 0;
  try {
    auto& ui = server::Module1::Current().GetPlatform().ui;
    *answer = ui.MessageBox(text, style, caption != nullptr ? caption : u"");
  } catch (...) {
    return com::E_FAIL;
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisAbandon(IUnknown* control) {
  if (control == nullptr) return com::E_POINTER;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  access.Abandon();
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisUseAnsweredDialogs() {
  try {
    return server::Module1::Current().UseAnsweredDialogs() ? com::S_OK : com::E_UNEXPECTED;
  } catch (...) {
    return com::E_FAIL;
  }
}

VELMARIS_EXPORT HRESULT VelmarisAnswerMessageBox(int32_t answer) {
  auto* ui = server::Module1::Current().Headless();
  if (ui == nullptr) return com::E_UNEXPECTED;
  ui->QueueMessageBoxAnswer(answer);
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisAnswerFileDialog(const OLECHAR* text, uint32_t length) {
  auto* ui = server::Module1::Current().Headless();
  if (ui == nullptr) return com::E_UNEXPECTED;
  if (text == nullptr) {
    ui->QueueFileDialogAnswer(std::nullopt);
  } else {
    ui->QueueFileDialogAnswer(std::u16string(text, length));
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisAnswerFolder(const OLECHAR* path) {
  auto* ui = server::Module1::Current().Headless();
  if (ui == nullptr) return com::E_UNEXPECTED;
  if (path == nullptr) {
    ui->QueueFolderAnswer(std::nullopt);
  } else {
    ui->QueueFolderAnswer(std::u16string(path));
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisMessages(BSTR* json) {
  if (json == nullptr) return com::E_POINTER;
  *json = nullptr;
  auto* ui = server::Module1::Current().Headless();
  if (ui == nullptr) return com::E_UNEXPECTED;
  server::JsonWriter out;
  out.BeginArray();
  for (const auto& shown : ui->History()) {
    out.BeginObject();
    out.Key("kind").String(shown.kind);
    out.Key("text").String(shown.text);
    out.Key("caption").String(shown.caption);
    out.Key("buttons").Number(shown.style & 0x0F);
    out.Key("icon").Number(shown.style & 0x70);
    out.Key("answer").Number(shown.answer);
    out.EndObject();
  }
  out.EndArray();
  return ReturnText(out.Text(), json);
}

VELMARIS_EXPORT HRESULT VelmarisFormGet(IUnknown* control, const OLECHAR* name, BSTR* json) {
  if (json == nullptr) return com::E_POINTER;
  *json = nullptr;
  if (control == nullptr || name == nullptr) return com::E_POINTER;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  const FormControl* child = access.GetForm().Find(name);
  if (child == nullptr) return com::E_INVALIDARG;
  server::JsonWriter out;
  server::WriteControl(out, *child);
  return ReturnText(out.Text(), json);
}

VELMARIS_EXPORT HRESULT VelmarisFormChildren(IUnknown* control, BSTR* json) {
  if (json == nullptr) return com::E_POINTER;
  *json = nullptr;
  if (control == nullptr) return com::E_POINTER;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  server::JsonWriter out;
  out.BeginArray();
  for (const auto& child : access.GetForm().Children()) out.String(child->Name());
  out.EndArray();
  return ReturnText(out.Text(), json);
}

VELMARIS_EXPORT HRESULT VelmarisFormAct(IUnknown* control, const OLECHAR* name,
                                        const OLECHAR* action, const VARIANT* argument,
                                        EXCEPINFO* excep) {
  if (control == nullptr || name == nullptr || action == nullptr) return com::E_POINTER;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  Form& form = access.GetForm();
  FormControl* child = form.Find(name);
  if (child == nullptr) return com::E_INVALIDARG;
  if (!Reachable(form, *child)) return com::E_ACCESSDENIED;
  const std::u16string verb(action);

  // Arguments are read before anything changes, so a bad one leaves the form as it was.
  if (verb == u"click") {
    return server::RunGuarded(excep, [&] { form.Click(*child); });
  }
  if (verb == u"setText") {
    std::u16string text;
    if (argument != nullptr) {
      if (HRESULT hr = com::ToText(*argument, text); hr != com::S_OK) return hr;
    }
    return server::RunGuarded(excep, [&] {
      child->SetText(text);
      Fire(child->on_change);
    });
  }
  if (verb == u"select" || verb == u"toggle") {
    int32_t index = 0;
    if (HRESULT hr = ItemIndex(*child, argument, index); hr != com::S_OK) return hr;
    const bool toggle = verb == u"toggle";
    return server::RunGuarded(excep, [&] {
      bool selected = toggle ? !child->Selected(index) : true;
      child->SetListIndex(index);
      if (child->MultiSelect()) {
        // A plain click leaves only that item selected; a Ctrl+click flips just that item.
        if (!toggle) {
          for (int i = 0; i < static_cast<int>(child->Items().size()); ++i) {
            if (child->Selected(i)) child->SetSelected(i, false);
          }
        }
        child->SetSelected(index, selected);
      }
      if (child->Kind() == ControlKind::kComboBox) child->SetText(child->Items()[index]);
      Fire(child->on_click);
    });
  }
  if (verb == u"check") {
    int32_t value = 0;
    if (argument == nullptr) return com::E_INVALIDARG;
    if (HRESULT hr = com::ToInt32(*argument, value); hr != com::S_OK) return hr;
    if (value == -1) value = 1;  // a script's true
    const int32_t largest = child->Kind() == ControlKind::kCheckBox ? 2 : 1;
    if (value < 0 || value > largest) return com::E_INVALIDARG;
    return server::RunGuarded(excep, [&] {
      if (child->Kind() == ControlKind::kOptionButton && value == 1) {
        form.Choose(*child);
      } else {
        child->SetChecked(value);
      }
      Fire(child->on_click);
    });
  }
  if (verb == u"drop") {
    std::u16string text;
    if (argument == nullptr) return com::E_INVALIDARG;
    if (HRESULT hr = com::ToText(*argument, text); hr != com::S_OK) return hr;
    auto paths = server::ParseStringArray(text);
    if (!paths) return com::E_INVALIDARG;
    return server::RunGuarded(excep, [&] { Fire(child->on_drop, *paths); });
  }
  if (verb == u"hover") {
    int32_t index = 0;
    if (argument == nullptr) return com::E_INVALIDARG;
    if (HRESULT hr = com::ToInt32(*argument, index); hr != com::S_OK) return hr;
    return server::RunGuarded(excep, [&] { Fire(child->on_hover_item, static_cast<int>(index)); });
  }
  return com::E_INVALIDARG;
}

// --- forms on screen ---------------------------------------------------------------------------

VELMARIS_EXPORT HRESULT VelmarisUseScreen() {
  try {
    switch (server::Module1::Current().UseScreen()) {
      case server::Module1::ScreenAnswer::kOnScreen:
        return com::S_OK;
      case server::Module1::ScreenAnswer::kControlsMade:
        return com::E_UNEXPECTED;
      case server::Module1::ScreenAnswer::kNoDisplay:
        return com::E_FAIL;
      case server::Module1::ScreenAnswer::kNoScreenModule:
        return com::E_NO_SCREEN_MODULE;
    }
  } catch (...) {
  }
  return com::E_FAIL;
}

VELMARIS_EXPORT HRESULT VelmarisShowForm(IUnknown* control) {
  if (control == nullptr) return com::E_POINTER;
  auto* windows = server::Module1::Current().Windows();
  if (windows == nullptr) return com::E_UNEXPECTED;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  Form& form = access.GetForm();
  if (windows->IsOpen(form)) return com::S_FALSE;
  try {
    // The window keeps the control, and so its form, for as long as it is open.
    control->AddRef();
    std::shared_ptr<void> owner(control,
                                [](void* held) { static_cast<IUnknown*>(held)->Release(); });
    windows->Open(form, std::move(owner));
  } catch (...) {
    return com::E_FAIL;
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisCloseForm(IUnknown* control) {
  if (control == nullptr) return com::E_POINTER;
  auto* windows = server::Module1::Current().Windows();
  if (windows == nullptr) return com::E_UNEXPECTED;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  return windows->Close(access.GetForm()) ? com::S_OK : com::S_FALSE;
}

VELMARIS_EXPORT HRESULT VelmarisRunUntilFormsClosed() {
  auto& module = server::Module1::Current();
  if (module.Windows() == nullptr) return com::S_OK;
  try {
    module.Windows()->RunUntilAllClosed(module.Loop());
  } catch (...) {
    return com::E_FAIL;
  }
  return com::S_OK;
}

VELMARIS_EXPORT HRESULT VelmarisScreenshot(IUnknown* control, const OLECHAR* path) {
  if (control == nullptr || path == nullptr) return com::E_POINTER;
  auto* windows = server::Module1::Current().Windows();
  if (windows == nullptr) return com::E_UNEXPECTED;
  server::ControlAccess access(control);
  if (!access) return com::E_NOINTERFACE;
  try {
    return windows->Screenshot(access.GetForm(), path) ? com::S_OK : com::E_FAIL;
  } catch (...) {
    return com::E_FAIL;
  }
}

}  // extern "C"
