// The forms of a thread on screen, a window per form; only a thread whose host asked for windows
// has one.
#pragma once

#include <memory>
#include <string_view>

#include "platform/forms.h"
#include "platform/message_loop.h"

namespace velmaris {

class FormScreen {
 public:
  virtual ~FormScreen() = default;

  // Shows `form` in a window of its own, or raises the one it has. `owner` (the control, say) is
  // held while the window is open.
  virtual void Open(Form& form, std::shared_ptr<void> owner) = 0;
  virtual bool IsOpen(const Form& form) const = 0;
  // Closes the window of `form` as its close button would; false when it has none open.
  virtual bool Close(const Form& form) = 0;
  // Runs `loop` until every window is closed.
  virtual void RunUntilAllClosed(MessageLoop& loop) = 0;
  // Writes a PNG of the form as it is now: its window when open, else the form drawn off screen.
  virtual bool Screenshot(Form& form, std::u16string_view path) = 0;
};

}  // namespace velmaris
