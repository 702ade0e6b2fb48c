// The windows of a thread's forms: one per control, kept until it is closed, and deleted only when
// none of its handlers is still running.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/screen.h"

class QObject;

namespace velmaris {

class FormRenderer;

class FormWindows : public FormScreen {
 public:
  FormWindows();
  ~FormWindows() override;
  FormWindows(const FormWindows&) = delete;
  FormWindows& operator=(const FormWindows&) = delete;

  // Shows `form` in a window of its own, or raises the one it has. `owner` (the control, say) is
  // held while the window is open.
  FormRenderer& Show(Form& form, std::shared_ptr<void> owner = {});
  // The open window of `form`, or null.
  FormRenderer* Find(const Form& form) const;
  size_t OpenCount() const { return m_open.size(); }

  void Open(Form& form, std::shared_ptr<void> owner) override { Show(form, std::move(owner)); }
  bool IsOpen(const Form& form) const override { return Find(form) != nullptr; }
  bool Close(const Form& form) override;
  void RunUntilAllClosed(MessageLoop& loop) override;
  bool Screenshot(Form& form, std::u16string_view path) override;

  // Where errors escaping a control's handler go.
  std::function<void(std::exception_ptr)> on_error;

 private:
  struct OpenWindow {
    const Form* form;
    FormRenderer* window;
  };
  void Closed(FormRenderer* window);
  // Deletes the closed windows whose handlers have all returned; later, from the event loop, since
  // a window is never deleted under one of its own event handlers.
  void SweepLater();
  void Sweep();

  std::vector<OpenWindow> m_open;
  std::vector<FormRenderer*> m_closed;
  // The receiver of the sweeps; queued sweeps go with it.
  std::unique_ptr<QObject> m_context;
};

}  // namespace velmaris
