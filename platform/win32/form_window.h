// One control's form as Win32 windows: a child window of any parent (a top-level window of the
// screen, or a container's window when the control sits in a page) holding a system control for
// every child of the form model, placed where its geometry says (children of a frame inside the
// frame). The model stays the truth: a change to it redraws its control at once, and what a user
// does to a control goes into the model first and then to the control's handler, as the Qt
// renderer feeds it.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms.h"

namespace velmaris {

class FormWindow {
 public:
  // The form's window as a child of `parent` at `position` (pixels), its size the form's at the
  // system's DPI, visible. Null when the window cannot be made. The form must outlive the window
  // or its Detach(); `owner` is held while the window follows the form, and while any handler it
  // started runs.
  static std::unique_ptr<FormWindow> Create(Form& form, HWND parent, POINT position,
                                            std::shared_ptr<void> owner = {});
  // Destroys the windows and lets go of the model's handlers.
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  HWND Window() const { return m_window; }
  // The whole form, in pixels.
  SIZE PixelSize() const;
  // Moves and sizes the form's window within its parent.
  void Place(const RECT& rect);
  // Draws the form as it is now into `dc` within `bounds`, for containers that print or draw an
  // inactive control, and for screenshots.
  void Draw(HDC dc, const RECT& bounds);
  // Keyboard as a dialog has it: Tab and Shift+Tab between the form's controls, Enter on a
  // button, the arrows within a group of option buttons. True when it handled `message`, which
  // must then not be dispatched.
  bool TranslateAccelerator(MSG* message);
  // Focuses the first control (Tab order is the children's order in the model).
  void FocusFirst();

  // The window for child `name`, or null.
  HWND Control(std::u16string_view name) const;
  // Twips to pixels at this window's DPI.
  int Pixels(int twips) const;

  // Stops following the form and lets go of the owner; the controls stay as they are.
  void Detach();
  bool Attached() const { return m_attached; }
  // Whether a handler this window started is still running (a batch behind a button, say).
  bool Busy() const { return m_handlers > 0; }

  // Called when the last running handler returned after the window was detached.
  std::function<void()> on_idle;
  // An error escaping a control's handler; without it the error is written to standard error.
  std::function<void(std::exception_ptr)> on_error;

 private:
  struct Child {
    FormControl* model = nullptr;
    HWND window = nullptr;
    HWND parent = nullptr;
    int id = 0;
    bool multi_select = false;  // the style a list was made with
    bool hovered_tracking = false;
    int hovered = -1;
    std::u16string tooltip;    // the tip shown for it now
    std::u16string picture;    // the picture an image box shows now
    HBITMAP bitmap = nullptr;  // the picture at the box's size, owned
  };

  FormWindow(Form& form, std::shared_ptr<void> owner);
  bool Build(HWND parent, POINT position);
  HWND BuildChild(Child& child, std::vector<Child*>& building);
  HWND MakeControl(Child& child, HWND parent, int flags_group);
  void Show(Child& child);
  void ShowItems(Child& child);
  void ShowPicture(Child& child);
  void ShowToolTip(Child& child);
  void PaintPicture(const Child& child, HDC dc);
  // A multi-line box's scroll bar, shown only while its text is longer than the box.
  void ShowScrollBars(const Child& child);
  void Deliver(Child& child, const std::function<void()>& action);
  void OnCommand(Child& child, int code);
  void OnListSelection(Child& child);
  void Hover(Child& child, int row);
  Child* Find(std::u16string_view name) const;
  Child* FindWindow(HWND window) const;
  // Where Tab lands on `control`: in a group of options, on the chosen one.
  static HWND TabTarget(HWND control);
  void DrawChildren(HWND parent, HDC dc, POINT origin);

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ChildProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR id, DWORD_PTR data);

  Form& m_form;
  std::vector<std::unique_ptr<Child>> m_children;
  std::shared_ptr<void> m_owner;
  HWND m_window = nullptr;
  HWND m_tooltips = nullptr;
  HFONT m_font = nullptr;        // owned
  HFONT m_shown_font = nullptr;  // it, or the system's when there is no Chinese font
  int m_dpi = 96;
  int m_line_height = 0;
  bool m_built = false;  // holds the window class
  bool m_attached = true;
  int m_handlers = 0;
  int m_showing = 0;  // the model is being shown: the controls' notices are not input
};

}  // namespace velmaris
