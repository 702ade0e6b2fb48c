// One control's form as a window: a Qt widget for every child of the form model, placed where its
// geometry says (children of a frame inside the frame). The model stays the truth: a change to it
// redraws its widget at once, and what a user does to a widget goes into the model first and then
// to the control's handler, exactly as a host's form action would.
#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms.h"

namespace velmaris {

class FormRenderer : public QWidget {
 public:
  // Builds the window for `form`, hidden. The form must outlive the renderer or its Detach().
  // `owner` is held while the window follows the form, and while any handler it started runs.
  explicit FormRenderer(Form& form, std::shared_ptr<void> owner = {});
  ~FormRenderer() override;
  FormRenderer(const FormRenderer&) = delete;
  FormRenderer& operator=(const FormRenderer&) = delete;

  // The widget showing child `name`, or null.
  QWidget* Widget(std::u16string_view name) const;

  // Stops following the form and lets go of the owner; the widgets stay as they are. Closing the
  // window does this.
  void Detach();
  bool Attached() const { return m_attached; }
  // Whether a handler this window started is still running (a batch behind a button, say).
  bool Busy() const { return m_handlers > 0; }

  // Called once the window was closed.
  std::function<void()> on_closed;
  // Called when the last running handler returned after the window was closed.
  std::function<void()> on_idle;
  // An error escaping a control's handler; without it the error is written to standard error.
  std::function<void(std::exception_ptr)> on_error;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Child {
    FormControl* model;
    QWidget* widget = nullptr;
    std::u16string picture;  // the picture an image box shows now
  };

  QWidget* Build(Child& child, std::vector<Child*>& building);
  QWidget* MakeWidget(Child& child, QWidget* parent);
  void ConnectInput(Child& child);
  // Shows the model's state in the child's widget.
  void Show(Child& child);
  void ShowItems(Child& child);
  void ShowPicture(Child& child);
  // Runs what a user did: `action` changes the model and calls the control's handler; the widget
  // then shows the model as the handler left it.
  void Deliver(Child& child, const std::function<void()>& action);
  Child* Find(std::u16string_view name) const;

  Form& m_form;
  std::vector<std::unique_ptr<Child>> m_children;
  std::shared_ptr<void> m_owner;
  bool m_attached = true;
  int m_handlers = 0;
};

}  // namespace velmaris
