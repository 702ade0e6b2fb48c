// The in-place form on the Win32 renderer.
#include "server/win32/form_view.h"

#include <map>

#include "platform/win32/form_window.h"

namespace velmaris::server::win32 {

namespace {

// Windows whose view went while a handler they started still ran, by the timer that ends them.
std::map<UINT_PTR, FormWindow*>& Retired() {
  static thread_local std::map<UINT_PTR, FormWindow*> retired;
  return retired;
}

void CALLBACK EndRetired(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  auto& retired = Retired();
  if (auto found = retired.find(timer); found != retired.end()) {
    FormWindow* window = found->second;
    retired.erase(found);
    delete window;
  }
}

class WindowView final : public FormView {
 public:
  explicit WindowView(std::unique_ptr<FormWindow> window) : m_window(std::move(window)) {}
  ~WindowView() override {
    if (!m_window->Busy()) return;
    // The window's handler is still on the stack: the window stays, hidden and no longer
    // following the form, and goes once the handler returned, outside its own call.
    ShowWindow(m_window->Window(), SW_HIDE);
    FormWindow* window = m_window.release();
    window->on_idle = [window] {
      if (UINT_PTR timer = SetTimer(nullptr, 0, 0, EndRetired)) Retired()[timer] = window;
    };
    window->Detach();
  }

  HWND Window() const override { return m_window->Window(); }
  void Place(const RECT& position) override { m_window->Place(position); }
  void Draw(HDC dc, const RECT& bounds) override { m_window->Draw(dc, bounds); }
  bool TranslateAccelerator(MSG* msg) override { return m_window->TranslateAccelerator(msg); }
  void FocusFirst() override { m_window->FocusFirst(); }

 private:
  std::unique_ptr<FormWindow> m_window;
};

}  // namespace

std::unique_ptr<FormView> MakeFormView(Form& form, HWND parent, const RECT& position,
                                       std::shared_ptr<void> owner) {
  auto window =
      FormWindow::Create(form, parent, POINT{position.left, position.top}, std::move(owner));
  if (window == nullptr) return nullptr;
  // The container's box, not the form's own size, is what shows.
  if (position.right > position.left && position.bottom > position.top) window->Place(position);
  return std::make_unique<WindowView>(std::move(window));
}

void DrawForm(Form& form, HDC dc, const RECT& bounds) {
  // The renderer draws from its windows: a hidden parent holds them for the drawing.
  HWND parent = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  if (parent == nullptr) return;
  if (auto window = FormWindow::Create(form, parent, POINT{0, 0})) window->Draw(dc, bounds);
  DestroyWindow(parent);
}

}  // namespace velmaris::server::win32
