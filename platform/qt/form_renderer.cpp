#include "platform/qt/form_renderer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/picture.h"
#include "platform/qt/form_geometry.h"
#include "platform/qt/list_widget.h"

namespace velmaris {

namespace {

QString Q(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// A multi-line box keeps the form's "\r\n" line ends in the model and Qt's "\n" on screen.
QString ScreenLines(const std::u16string& text) {
  return Q(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
std::u16string ModelLines(const QString& text) {
  QString lines = text;
  return lines.replace(u'\n', QStringLiteral("\r\n")).toStdU16String();
}

Qt::CheckState CheckStateOf(int checked) {
  switch (checked) {
    case 1:
      return Qt::Checked;
    case 2:
      return Qt::PartiallyChecked;
    default:
      return Qt::Unchecked;
  }
}

bool SameItems(const QStringList& shown, const std::vector<std::u16string>& items) {
  if (shown.size() != static_cast<qsizetype>(items.size())) return false;
  for (size_t i = 0; i < items.size(); ++i) {
    if (shown[static_cast<qsizetype>(i)] != Q(items[i])) return false;
  }
  return true;
}

QStringList ListTexts(const QListWidget& list) {
  QStringList texts;
  for (int i = 0; i < list.count(); ++i) texts << list.item(i)->text();
  return texts;
}

QStringList ComboTexts(const QComboBox& combo) {
  QStringList texts;
  for (int i = 0; i < combo.count(); ++i) texts << combo.itemText(i);
  return texts;
}

void ReportToStandardError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmaris: %s\n", e.what());
  } catch (...) {
    std::fputs("velmaris: error in a form handler\n", stderr);
  }
}

}  // namespace

FormRenderer::FormRenderer(Form& form, std::shared_ptr<void> owner)
    : m_form(form), m_owner(std::move(owner)) {
  setWindowTitle(Q(form.Caption()));
  setFixedSize(Pixels(form.Width()), Pixels(form.Height()));
  for (const auto& model : form.Children()) {
    m_children.push_back(std::make_unique<Child>(Child{model.get(), nullptr, {}}));
  }
  std::vector<Child*> building;
  for (auto& child : m_children) Build(*child, building);
  for (auto& child : m_children) {
    ConnectInput(*child);
    child->model->on_state_changed = [this, at = child.get()](const FormControl&) { Show(*at); };
    Show(*child);
  }
}

FormRenderer::~FormRenderer() {
  Detach();
}

FormRenderer::Child* FormRenderer::Find(std::u16string_view name) const {
  for (const auto& child : m_children) {
    if (child->model->Name() == name) return child.get();
  }
  return nullptr;
}

QWidget* FormRenderer::Widget(std::u16string_view name) const {
  Child* child = Find(name);
  return child != nullptr ? child->widget : nullptr;
}

// A child goes inside its container's widget, which is built first; a container that is missing,
// or that would contain itself, leaves the child on the form.
QWidget* FormRenderer::Build(Child& child, std::vector<Child*>& building) {
  if (child.widget != nullptr) return child.widget;
  QWidget* parent = this;
  if (!child.model->Container().empty()) {
    Child* container = Find(child.model->Container());
    if (container != nullptr &&
        std::find(building.begin(), building.end(), container) == building.end()) {
      building.push_back(&child);
      parent = Build(*container, building);
      building.pop_back();
    }
  }
  if (child.widget != nullptr) return child.widget;  // built while its container was
  child.widget = MakeWidget(child, parent);
  child.widget->setObjectName(Q(child.model->Name()));
  child.widget->setGeometry(PixelRect(child.model->Geometry()));
  return child.widget;
}

QWidget* FormRenderer::MakeWidget(Child& child, QWidget* parent) {
  switch (child.model->Kind()) {
    case ControlKind::kButton:
      return new QPushButton(parent);
    case ControlKind::kLabel: {
      auto* label = new QLabel(parent);
      // Labels wrap at their width and start at the top left, and never read their text as markup.
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::kTextBox:
      if (MultiLine(*child.model)) return new QPlainTextEdit(parent);
      return new QLineEdit(parent);
    case ControlKind::kCheckBox:
      return new QCheckBox(parent);
    case ControlKind::kOptionButton: {
      auto* option = new QRadioButton(parent);
      // The model decides which option of a frame is chosen.
      option->setAutoExclusive(false);
      return option;
    }
    case ControlKind::kListBox:
      return new ListWidget(parent);
    case ControlKind::kComboBox:
      return new QComboBox(parent);
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kFrame: {
      auto* frame = new QGroupBox(parent);
      // The caption sits on the frame's top line, as on the forms this was laid out for: the
      // children's twips leave room for it there, not below it.
      frame->setStyleSheet(QStringLiteral(
          "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
          "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
          " left: 6px; padding: 0 2px; }"));
      return frame;
    }
    case ControlKind::kImageBox: {
      auto* image = new QLabel(parent);
      // The picture fills its box, stretched.
      image->setScaledContents(true);
      return image;
    }
  }
  return new QWidget(parent);
}

void FormRenderer::ConnectInput(Child& child) {
  FormControl& model = *child.model;
  QWidget* widget = child.widget;
  Child* at = &child;
  switch (model.Kind()) {
    case ControlKind::kButton:
      connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, this,
              [this, at] { Deliver(*at, [this, at] { m_form.Click(*at->model); }); });
      break;
    case ControlKind::kCheckBox:
      connect(static_cast<QCheckBox*>(widget), &QCheckBox::clicked, this,
              [this, at] { Deliver(*at, [this, at] { m_form.Click(*at->model); }); });
      break;
    case ControlKind::kOptionButton:
      connect(static_cast<QRadioButton*>(widget), &QRadioButton::clicked, this,
              [this, at] { Deliver(*at, [this, at] { m_form.Click(*at->model); }); });
      break;
    case ControlKind::kTextBox:
      if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        connect(line, &QLineEdit::textEdited, this, [this, at](const QString& text) {
          Deliver(*at, [at, text] {
            at->model->SetText(text.toStdU16String());
            if (at->model->on_change) at->model->on_change();
          });
        });
      } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        connect(box, &QPlainTextEdit::textChanged, this, [this, at, box] {
          Deliver(*at, [at, text = box->toPlainText()] {
            at->model->SetText(ModelLines(text));
            if (at->model->on_change) at->model->on_change();
          });
        });
      }
      break;
    case ControlKind::kComboBox:
      connect(static_cast<QComboBox*>(widget), &QComboBox::activated, this, [this, at](int index) {
        Deliver(*at, [at, index] {
          if (index < 0 || index >= static_cast<int>(at->model->Items().size())) return;
          at->model->SetListIndex(index);
          at->model->SetText(at->model->Items()[static_cast<size_t>(index)]);
          if (at->model->on_click) at->model->on_click();
        });
      });
      break;
    case ControlKind::kListBox: {
      auto* list = static_cast<ListWidget*>(widget);
      connect(list, &QListWidget::itemSelectionChanged, this, [this, at, list] {
        // Read what the user selected before the model changes: each change redraws the list.
        std::vector<bool> selected;
        for (int i = 0; i < list->count(); ++i) selected.push_back(list->item(i)->isSelected());
        const int current = list->currentRow();
        Deliver(*at, [at, selected, current] {
          FormControl& list_model = *at->model;
          if (selected.size() != list_model.Items().size()) return;
          list_model.SetListIndex(current);
          if (list_model.MultiSelect()) {
            for (size_t i = 0; i < selected.size(); ++i) {
              if (list_model.Selected(static_cast<int>(i)) != selected[i]) {
                list_model.SetSelected(static_cast<int>(i), selected[i]);
              }
            }
          }
          if (list_model.on_click) list_model.on_click();
        });
      });
      list->on_hover = [this, at](int row) {
        Deliver(*at, [at, row] {
          if (at->model->on_hover_item) at->model->on_hover_item(row);
        });
      };
      list->takes_drops = [this, at] { return m_attached && at->model->on_drop != nullptr; };
      list->on_drop = [this, at](const std::vector<std::u16string>& paths) {
        Deliver(*at, [at, paths] {
          if (at->model->on_drop) at->model->on_drop(paths);
        });
      };
      break;
    }
    case ControlKind::kLabel:
    case ControlKind::kProgressBar:
    case ControlKind::kFrame:
    case ControlKind::kImageBox:
      break;  // nothing a user can change
  }
}

void FormRenderer::Deliver(Child& child, const std::function<void()>& action) {
  if (!m_attached) return;
  // The control outlives its own handler, even when the window closes while it runs.
  auto owner = m_owner;
  ++m_handlers;
  try {
    action();
  } catch (...) {
    if (on_error) {
      on_error(std::current_exception());
    } else {
      ReportToStandardError(std::current_exception());
    }
  }
  --m_handlers;
  if (m_attached) {
    Show(child);
  } else if (m_handlers == 0 && on_idle) {
    on_idle();
  }
}

void FormRenderer::Show(Child& child) {
  if (!m_attached) return;
  const FormControl& model = *child.model;
  QWidget* widget = child.widget;
  const QSignalBlocker blocker(widget);
  widget->setEnabled(model.Enabled());
  widget->setVisible(model.Visible());
  const QString tooltip = Q(model.ToolTip());
  if (widget->toolTip() != tooltip) {
    widget->setToolTip(tooltip);
    // A tooltip on screen follows the item the mouse is over now.
    if (QToolTip::isVisible() && widget->underMouse()) {
      QToolTip::showText(QCursor::pos(), tooltip, widget);
    }
  }
  const QString text = Q(model.Text());
  switch (model.Kind()) {
    case ControlKind::kButton:
      static_cast<QPushButton*>(widget)->setText(text);
      break;
    case ControlKind::kLabel:
      static_cast<QLabel*>(widget)->setText(text);
      break;
    case ControlKind::kTextBox:
      if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        if (line->text() != text) line->setText(text);
      } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        const QString lines = ScreenLines(model.Text());
        if (box->toPlainText() != lines) {
          box->setPlainText(lines);
          // A log shows its newest lines.
          box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
        }
      }
      break;
    case ControlKind::kCheckBox: {
      auto* box = static_cast<QCheckBox*>(widget);
      box->setText(text);
      box->setCheckState(CheckStateOf(model.Checked()));
      break;
    }
    case ControlKind::kOptionButton: {
      auto* option = static_cast<QRadioButton*>(widget);
      option->setText(text);
      option->setChecked(model.Checked() != 0);
      break;
    }
    case ControlKind::kListBox:
    case ControlKind::kComboBox:
      ShowItems(child);
      break;
    case ControlKind::kProgressBar:
      static_cast<QProgressBar*>(widget)->setValue(static_cast<int>(std::lround(model.Value())));
      break;
    case ControlKind::kFrame:
      static_cast<QGroupBox*>(widget)->setTitle(text);
      break;
    case ControlKind::kImageBox:
      ShowPicture(child);
      break;
  }
}

void FormRenderer::ShowItems(Child& child) {
  const FormControl& model = *child.model;
  const int count = static_cast<int>(model.Items().size());
  if (model.Kind() == ControlKind::kListBox) {
    auto* list = static_cast<ListWidget*>(child.widget);
    list->setSelectionMode(model.MultiSelect() ? QAbstractItemView::ExtendedSelection
                                               : QAbstractItemView::SingleSelection);
    if (!SameItems(ListTexts(*list), model.Items())) {
      list->clear();
      for (const auto& item : model.Items()) list->addItem(Q(item));
    }
    for (int i = 0; i < count; ++i) {
      if (list->item(i)->isSelected() != model.Selected(i)) {
        list->item(i)->setSelected(model.Selected(i));
      }
    }
    list->setCurrentRow(model.ListIndex(), QItemSelectionModel::NoUpdate);
    return;
  }
  auto* combo = static_cast<QComboBox*>(child.widget);
  if (!SameItems(ComboTexts(*combo), model.Items())) {
    combo->clear();
    for (const auto& item : model.Items()) combo->addItem(Q(item));
  }
  // With no entry chosen, the box shows the control's text.
  combo->setPlaceholderText(Q(model.Text()));
  combo->setCurrentIndex(model.ListIndex() < count ? model.ListIndex() : -1);
}

void FormRenderer::ShowPicture(Child& child) {
  const std::u16string& path = child.model->Picture();
  if (path == child.picture) return;
  child.picture = path;
  auto* image = static_cast<QLabel*>(child.widget);
  if (path.empty()) {
    image->clear();
    return;
  }
  try {
    // Decoded as the controls measure pictures, so the preview shows what they will upload.
    const Picture picture = LoadPicture(path);
    QImage pixels(picture.rgba.data(), picture.size.width, picture.size.height,
                  picture.size.width * 4, QImage::Format_RGBA8888);
    image->setPixmap(QPixmap::fromImage(pixels.copy()));
  } catch (const std::exception&) {
    image->clear();  // a picture that cannot be read shows an empty box
  }
}

void FormRenderer::Detach() {
  if (!m_attached) return;
  m_attached = false;
  for (auto& child : m_children) child->model->on_state_changed = nullptr;
  // Last: letting go of the owner may end the control and its form.
  auto owner = std::move(m_owner);
}

void FormRenderer::closeEvent(QCloseEvent* event) {
  event->accept();
  Detach();
  if (on_closed) on_closed();
}

}  // namespace velmaris
