// The windows of a thread's forms on Windows: a top-level window per control holding its
// FormWindow, kept until it is closed, and destroyed only when none of its handlers is still
// running.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/screen.h"
#include "platform/win32/form_window.h"

namespace velmaris {

class WindowLoop;

class Win32FormScreen : public FormScreen {
 public:
  // The windows' keyboard goes through `loop`, which must outlive the screen.
  explicit Win32FormScreen(WindowLoop& loop);
  ~Win32FormScreen() override;
  Win32FormScreen(const Win32FormScreen&) = delete;
  Win32FormScreen& operator=(const Win32FormScreen&) = delete;

  // Whether a top-level window can be made here (a desktop to show it on).
  static bool CanShowWindows();

  void Open(Form& form, std::shared_ptr<void> owner) override;
  bool IsOpen(const Form& form) const override { return Find(form) != nullptr; }
  bool Close(const Form& form) override;
  void RunUntilAllClosed(MessageLoop& loop) override;
  bool Screenshot(Form& form, std::u16string_view path) override;

  // Where errors escaping a control's handler go.
  std::function<void(std::exception_ptr)> on_error;

 private:
  struct Shown {
    const Form* form;
    HWND frame;
    std::unique_ptr<FormWindow> window;
    HWND focus = nullptr;  // the control focused when the window was last left
  };

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // A top-level window holding `form`, hidden; null when it cannot be made.
  std::unique_ptr<Shown> Make(Form& form, std::shared_ptr<void> owner);
  Shown* Find(const Form& form) const;
  void Closed(HWND frame);
  // Destroys the closed windows whose handlers have all returned; later, from the loop, since a
  // window is never destroyed under one of its own handlers.
  void SweepLater();
  void Sweep();
  bool Keyboard(MSG& message);

  WindowLoop& m_loop;
  std::vector<std::unique_ptr<Shown>> m_open;
  std::vector<std::unique_ptr<Shown>> m_closed;
  // Sweeps still queued when the screen goes find it gone.
  std::shared_ptr<Win32FormScreen*> m_self;
};

// Writes `width` × `height` pixels (four bytes each, blue green red first, rows from the top) as a
// PNG file.
bool WritePng(std::u16string_view path, const uint8_t* bgra, int width, int height);

}  // namespace velmaris
