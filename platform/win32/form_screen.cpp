#include "platform/win32/form_screen.h"

#include "platform/win32/window_class.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/win32/window_loop.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace velmaris {

namespace {

constexpr wchar_t kClassName[] = L"VelmarisFormFrame";
// A window's size is fixed by its form, as on the forms this was laid out for.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// The class lives while a window of it does; registered with its procedure at the first use.
WindowClass& FrameClass(WNDPROC procedure = nullptr) {
  static WindowClass window_class(kClassName, procedure, true);
  return window_class;
}

void AppendBytes(void* context, void* data, int size) {
  auto* bytes = static_cast<std::string*>(context);
  bytes->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

}  // namespace

bool WritePng(std::u16string_view path, const uint8_t* bgra, int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (size_t i = 0, j = 0; j < rgb.size(); i += 4, j += 3) {
    rgb[j] = bgra[i + 2];
    rgb[j + 1] = bgra[i + 1];
    rgb[j + 2] = bgra[i];
  }
  std::string bytes;
  if (stbi_write_png_to_func(AppendBytes, &bytes, width, height, 3, rgb.data(), width * 3) == 0) {
    return false;
  }
  const std::wstring name(path.begin(), path.end());
  FILE* file = _wfopen(name.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

Win32FormScreen::Win32FormScreen(WindowLoop& loop)
    : m_loop(loop), m_self(std::make_shared<Win32FormScreen*>(this)) {
  m_loop.before_dispatch = [this](MSG& message) { return Keyboard(message); };
}

Win32FormScreen::~Win32FormScreen() {
  *m_self = nullptr;
  m_loop.before_dispatch = nullptr;
  auto end = [](std::unique_ptr<Shown>& shown) {
    shown->window.reset();  // detaches first, which lets go of its owner
    SetWindowLongPtrW(shown->frame, GWLP_USERDATA, 0);
    DestroyWindow(shown->frame);
    FrameClass().Drop();
  };
  for (auto& shown : m_open) end(shown);
  for (auto& shown : m_closed) end(shown);
}

bool Win32FormScreen::CanShowWindows() {
  if (!FrameClass(&Procedure).Use()) return false;
  HWND probe = CreateWindowExW(0, kClassName, L"", kStyle, 0, 0, 10, 10, nullptr, nullptr,
                               OwnModule(), nullptr);
  const bool made = probe != nullptr;
  if (made) DestroyWindow(probe);
  FrameClass().Drop();
  return made;
}

LRESULT CALLBACK Win32FormScreen::Procedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32FormScreen*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case WM_CLOSE:
        self->Closed(window);
        return 0;
      case WM_ACTIVATE:
        // The control that had the focus gets it back when the window is active again.
        if (LOWORD(wparam) == WA_INACTIVE) {
          for (const auto& shown : self->m_open) {
            if (shown->frame == window && IsChild(window, GetFocus())) shown->focus = GetFocus();
          }
        }
        break;
      case WM_SETFOCUS:
        for (const auto& shown : self->m_open) {
          if (shown->frame != window) continue;
          if (shown->focus != nullptr && IsChild(window, shown->focus) &&
              IsWindowVisible(shown->focus) && IsWindowEnabled(shown->focus)) {
            SetFocus(shown->focus);
          } else {
            shown->window->FocusFirst();
          }
        }
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

std::unique_ptr<Win32FormScreen::Shown> Win32FormScreen::Make(Form& form,
                                                              std::shared_ptr<void> owner) {
  if (!FrameClass(&Procedure).Use()) return nullptr;
  auto shown = std::make_unique<Shown>();
  shown->form = &form;
  const std::wstring caption(form.Caption().begin(), form.Caption().end());
  shown->frame = CreateWindowExW(0, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 100, 100, nullptr, nullptr, OwnModule(), nullptr);
  if (shown->frame == nullptr) {
    FrameClass().Drop();
    return nullptr;
  }
  shown->window = FormWindow::Create(form, shown->frame, POINT{0, 0}, std::move(owner));
  if (!shown->window) {
    DestroyWindow(shown->frame);
    FrameClass().Drop();
    return nullptr;
  }
  // The client area is the form.
  const SIZE size = shown->window->PixelSize();
  RECT outer{0, 0, size.cx, size.cy};
  AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  SetWindowPos(shown->frame, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  shown->window->on_error = [this](std::exception_ptr error) {
    if (on_error) on_error(error);
  };
  shown->window->on_idle = [this] { SweepLater(); };
  return shown;
}

void Win32FormScreen::Open(Form& form, std::shared_ptr<void> owner) {
  if (Shown* shown = Find(form)) {
    ShowWindow(shown->frame, SW_RESTORE);
    SetForegroundWindow(shown->frame);
    return;
  }
  auto shown = Make(form, std::move(owner));
  if (!shown) throw std::runtime_error("CreateWindowExW failed");
  SetWindowLongPtrW(shown->frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ShowWindow(shown->frame, SW_SHOW);
  UpdateWindow(shown->frame);
  shown->window->FocusFirst();
  m_open.push_back(std::move(shown));
}

Win32FormScreen::Shown* Win32FormScreen::Find(const Form& form) const {
  for (const auto& shown : m_open) {
    if (shown->form == &form) return shown.get();
  }
  return nullptr;
}

bool Win32FormScreen::Close(const Form& form) {
  Shown* shown = Find(form);
  if (shown == nullptr) return false;
  SendMessageW(shown->frame, WM_CLOSE, 0, 0);
  return true;
}

void Win32FormScreen::Closed(HWND frame) {
  auto it = std::find_if(m_open.begin(), m_open.end(),
                         [frame](const auto& shown) { return shown->frame == frame; });
  if (it == m_open.end()) return;
  ShowWindow(frame, SW_HIDE);
  (*it)->window->Detach();
  m_closed.push_back(std::move(*it));
  m_open.erase(it);
  SweepLater();
}

void Win32FormScreen::SweepLater() {
  m_loop.Post([self = std::weak_ptr<Win32FormScreen*>(m_self)] {
    if (auto screen = self.lock(); screen && *screen != nullptr) (*screen)->Sweep();
  });
}

void Win32FormScreen::Sweep() {
  std::erase_if(m_closed, [](std::unique_ptr<Shown>& shown) {
    if (shown->window->Busy()) return false;
    shown->window.reset();
    SetWindowLongPtrW(shown->frame, GWLP_USERDATA, 0);
    DestroyWindow(shown->frame);
    FrameClass().Drop();
    return true;
  });
}

bool Win32FormScreen::Keyboard(MSG& message) {
  for (const auto& shown : m_open) {
    if (shown->window->TranslateAccelerator(&message)) return true;
  }
  return false;
}

void Win32FormScreen::RunUntilAllClosed(MessageLoop& loop) {
  while (!m_open.empty()) loop.WaitForEvent();
  loop.Pump();  // the last sweep
}

bool Win32FormScreen::Screenshot(Form& form, std::u16string_view path) {
  std::unique_ptr<Shown> unseen;
  FormWindow* window = nullptr;
  if (Shown* shown = Find(form)) {
    window = shown->window.get();
  } else {
    // Drawn in a window of its own that nobody sees (all but transparent, never active) and
    // that follows the form no longer after.
    unseen = Make(form, {});
    if (!unseen) return false;
    window = unseen->window.get();
    SetWindowLongPtrW(unseen->frame, GWL_EXSTYLE,
                      GetWindowLongPtrW(unseen->frame, GWL_EXSTYLE) | WS_EX_LAYERED |
                          WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);
    SetLayeredWindowAttributes(unseen->frame, 0, 1, LWA_ALPHA);
    ShowWindow(unseen->frame, SW_SHOWNOACTIVATE);
    UpdateWindow(unseen->frame);
  }
  const SIZE size = window->PixelSize();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool written = false;
  if (bitmap != nullptr) {
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    window->Draw(dc, RECT{0, 0, size.cx, size.cy});
    GdiFlush();
    written = WritePng(path, static_cast<const uint8_t*>(bits), size.cx, size.cy);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  ReleaseDC(nullptr, screen);
  if (unseen) {
    unseen->window.reset();
    DestroyWindow(unseen->frame);
    FrameClass().Drop();
  }
  return written;
}

}  // namespace velmaris
