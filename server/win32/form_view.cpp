// The in-place form on the Win32 renderer.
#include "server/win32/form_view.h"

#include "platform/win32/form_window.h"

namespace velmaris::server::win32 {

namespace {

class WindowView final : public FormView {
 public:
  explicit WindowView(std::unique_ptr<FormWindow> window) : m_window(std::move(window)) {}

  HWND Window() const override { return m_window->Window(); }
  void Place(const RECT& position) override { m_window->Place(position); }
  void Draw(HDC dc, const RECT& bounds) override { m_window->Draw(dc, bounds); }
  bool TranslateAccelerator(MSG* msg) override { return m_window->TranslateAccelerator(msg); }
  void FocusFirst() override { m_window->FocusFirst(); }

 private:
  std::unique_ptr<FormWindow> m_window;
};

}  // namespace

std::unique_ptr<FormView> MakeFormView(Form& form, HWND parent, const RECT& position) {
  auto window = FormWindow::Create(form, parent, POINT{position.left, position.top});
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
