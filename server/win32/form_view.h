// The control's form in the container's window while it is in-place active, and a drawing of it
// for IViewObject when it is not.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/forms.h"

namespace velmaris::server::win32 {

class FormView {
 public:
  virtual ~FormView() = default;
  virtual HWND Window() const = 0;
  // Moves the window to `position`, in the parent's client coordinates.
  virtual void Place(const RECT& position) = 0;
  virtual void Draw(HDC dc, const RECT& bounds) = 0;
  // True when the message was the form's (a Tab, an Enter, a mnemonic) and was handled.
  virtual bool TranslateAccelerator(MSG* msg) = 0;
  virtual void FocusFirst() = 0;
};

// The form as a child window of `parent` at `position`; null when it cannot be made. `owner`
// (the control) is held while the view lives and while a handler its window started runs: a
// click may run a batch that outlasts the container's hold on the control.
std::unique_ptr<FormView> MakeFormView(Form& form, HWND parent, const RECT& position,
                                       std::shared_ptr<void> owner);

// The form drawn into `dc` within `bounds` without a window of its own.
void DrawForm(Form& form, HDC dc, const RECT& bounds);

}  // namespace velmaris::server::win32
