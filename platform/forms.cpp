#include "platform/forms.h"

#include <stdexcept>

#include "base/codepage.h"

namespace velmaris {

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kButton:
      return "Button";
    case ControlKind::kLabel:
      return "Label";
    case ControlKind::kTextBox:
      return "TextBox";
    case ControlKind::kCheckBox:
      return "CheckBox";
    case ControlKind::kOptionButton:
      return "OptionButton";
    case ControlKind::kListBox:
      return "ListBox";
    case ControlKind::kComboBox:
      return "ComboBox";
    case ControlKind::kProgressBar:
      return "ProgressBar";
    case ControlKind::kFrame:
      return "Frame";
    case ControlKind::kImageBox:
      return "ImageBox";
  }
  return "Control";
}

FormControl::FormControl(ControlKind kind, std::u16string name, Rect rect, std::u16string container)
    : m_kind(kind), m_name(std::move(name)), m_rect(rect), m_container(std::move(container)) {}

void FormControl::Changed() {
  if (on_state_changed) on_state_changed(*this);
}

void FormControl::SetText(std::u16string text) {
  if (text == m_text) return;
  m_text = std::move(text);
  Changed();
}

void FormControl::SetEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  Changed();
}

void FormControl::SetVisible(bool visible) {
  if (visible == m_visible) return;
  m_visible = visible;
  Changed();
}

void FormControl::SetValue(double value) {
  if (value < 0) value = 0;
  if (value > 100) value = 100;
  if (value == m_value) return;
  m_value = value;
  Changed();
}

void FormControl::SetChecked(int checked) {
  if (checked == m_checked) return;
  m_checked = checked;
  Changed();
}

void FormControl::SetToolTip(std::u16string tooltip) {
  if (tooltip == m_tooltip) return;
  m_tooltip = std::move(tooltip);
  Changed();
}

void FormControl::SetPicture(std::u16string path) {
  m_picture = std::move(path);
  Changed();
}

void FormControl::AddItem(std::u16string item, int32_t item_data) {
  m_items.push_back(std::move(item));
  m_item_data.push_back(item_data);
  m_selected.push_back(false);
  Changed();
}

void FormControl::RemoveItem(int index) {
  if (index < 0 || index >= static_cast<int>(m_items.size())) {
    throw std::out_of_range("list index out of range");
  }
  m_items.erase(m_items.begin() + index);
  m_item_data.erase(m_item_data.begin() + index);
  m_selected.erase(m_selected.begin() + index);
  if (m_list_index >= static_cast<int>(m_items.size())) {
    m_list_index = static_cast<int>(m_items.size()) - 1;
  }
  Changed();
}

void FormControl::SetItem(int index, std::u16string item) {
  m_items.at(static_cast<size_t>(index)) = std::move(item);
  Changed();
}

void FormControl::Clear() {
  m_items.clear();
  m_item_data.clear();
  m_selected.clear();
  m_list_index = -1;
  Changed();
}

int32_t FormControl::ItemData(int index) const {
  return m_item_data.at(static_cast<size_t>(index));
}

bool FormControl::Selected(int index) const {
  return m_selected.at(static_cast<size_t>(index));
}

void FormControl::SetSelected(int index, bool selected) {
  m_selected.at(static_cast<size_t>(index)) = selected;
  Changed();
}

void FormControl::SetListIndex(int index) {
  if (index < -1 || index >= static_cast<int>(m_items.size())) {
    throw std::out_of_range("list index out of range");
  }
  m_list_index = index;
  if (!m_multi_select) {
    for (size_t i = 0; i < m_selected.size(); ++i) m_selected[i] = static_cast<int>(i) == index;
  }
  Changed();
}

Form::Form(std::u16string caption, int width, int height)
    : m_caption(std::move(caption)), m_width(width), m_height(height) {}

Form::Form(std::u16string caption, int width, int height, std::span<const ControlRow> rows)
    : Form(std::move(caption), width, height) {
  Add(rows);
}

FormControl& Form::Add(ControlKind kind, std::u16string name, Rect rect, std::u16string container) {
  m_children.push_back(
      std::make_unique<FormControl>(kind, std::move(name), rect, std::move(container)));
  return *m_children.back();
}

void Form::Add(std::span<const ControlRow> rows) {
  for (const ControlRow& row : rows) {
    FormControl& control = Add(row.kind, row.name, row.rect, row.container);
    control.SetText(row.text);
    control.SetEnabled((row.state & row::kDisabled) == 0);
    control.SetVisible((row.state & row::kHidden) == 0);
    control.SetChecked((row.state & row::kTicked) != 0 ? 1 : 0);
    control.SetMultiSelect((row.state & row::kMultiSelect) != 0);
    for (const ListEntry& entry : row.items) control.AddItem(entry.text, entry.value);
    if (row.selected >= 0) {
      control.SetListIndex(row.selected);
      if (row.kind == ControlKind::kComboBox)
        control.SetText(row.items[static_cast<size_t>(row.selected)].text);
    }
  }
}

void Form::Click(FormControl& control) {
  if (control.Kind() == ControlKind::kOptionButton) {
    Choose(control);
  } else if (control.Kind() == ControlKind::kCheckBox) {
    control.SetChecked(control.Checked() == 1 ? 0 : 1);
  }
  if (control.on_click) control.on_click();
}

void Form::Choose(FormControl& option) {
  for (const auto& other : m_children) {
    if (other.get() != &option && other->Kind() == ControlKind::kOptionButton &&
        other->Container() == option.Container() && other->Checked() != 0) {
      other->SetChecked(0);
    }
  }
  option.SetChecked(1);
}

FormControl* Form::Find(std::u16string_view name) {
  for (auto& child : m_children) {
    if (child->Name() == name) return child.get();
  }
  return nullptr;
}

FormControl& Form::operator[](std::u16string_view name) {
  if (auto* child = Find(name)) return *child;
  throw std::out_of_range("no child control " + codepage::ToUtf8(name));
}

}  // namespace velmaris
