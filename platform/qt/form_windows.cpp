#include "platform/qt/form_windows.h"

#include <QObject>
#include <QPixmap>
#include <algorithm>

#include "platform/qt/form_renderer.h"

namespace velmaris {

FormWindows::FormWindows() : m_context(std::make_unique<QObject>()) {}

FormWindows::~FormWindows() {
  m_context.reset();
  for (auto& open : m_open) {
    open.window->on_closed = nullptr;
    delete open.window;  // detaches first, which lets go of its owner
  }
  for (auto* window : m_closed) delete window;
}

FormRenderer& FormWindows::Show(Form& form, std::shared_ptr<void> owner) {
  if (FormRenderer* shown = Find(form)) {
    shown->raise();
    return *shown;
  }
  auto* window = new FormRenderer(form, std::move(owner));
  window->setAttribute(Qt::WA_QuitOnClose, false);
  window->on_error = [this](std::exception_ptr error) {
    if (on_error) on_error(error);
  };
  window->on_closed = [this, window] { Closed(window); };
  window->on_idle = [this] { SweepLater(); };
  m_open.push_back({&form, window});
  window->show();
  return *window;
}

FormRenderer* FormWindows::Find(const Form& form) const {
  for (const auto& open : m_open) {
    if (open.form == &form) return open.window;
  }
  return nullptr;
}

bool FormWindows::Close(const Form& form) {
  FormRenderer* window = Find(form);
  if (window == nullptr) return false;
  window->close();
  return true;
}

void FormWindows::Closed(FormRenderer* window) {
  std::erase_if(m_open, [window](const OpenWindow& open) { return open.window == window; });
  m_closed.push_back(window);
  SweepLater();
}

void FormWindows::SweepLater() {
  QMetaObject::invokeMethod(
      m_context.get(), [this] { Sweep(); }, Qt::QueuedConnection);
}

void FormWindows::Sweep() {
  std::erase_if(m_closed, [](FormRenderer* window) {
    if (window->Busy()) return false;
    delete window;
    return true;
  });
}

void FormWindows::RunUntilAllClosed(MessageLoop& loop) {
  while (!m_open.empty()) loop.WaitForEvent();
  loop.Pump();  // the last sweep
}

bool FormWindows::Screenshot(Form& form, std::u16string_view path) {
  const QString file = QString::fromUtf16(path.data(), static_cast<qsizetype>(path.size()));
  if (FormRenderer* window = Find(form)) return window->grab().save(file, "PNG");
  FormRenderer unseen(form);
  return unseen.grab().save(file, "PNG");
}

}  // namespace velmaris
