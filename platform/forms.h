// The form model: the child controls a control shows, their geometry, captions and state. The
// controls change it; a renderer (headless or on screen) reads it and feeds user input back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmaris {

enum class ControlKind {
  kButton,
  kLabel,
  kTextBox,
  kCheckBox,
  kOptionButton,
  kListBox,
  kComboBox,
  kProgressBar,
  kFrame,
  kImageBox,
};

const char* KindName(ControlKind kind);

// Geometry in twips (1/1440 inch), as the forms are laid out.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// An entry of a list or drop-down as a form's layout gives it: its text and its item value.
struct ListEntry {
  const char16_t* text;
  int32_t value = 0;
};

// How a child control of a layout first shows, beyond its text; flags to combine.
namespace row {
inline constexpr unsigned kDisabled = 1;
inline constexpr unsigned kHidden = 2;
inline constexpr unsigned kTicked = 4;  // a check box ticked, an option button chosen
inline constexpr unsigned kMultiSelect = 8;
}  // namespace row

// One child control of a form's layout, as the form first shows it. A form's layout is a table
// of these rows, in the order the children are added.
struct ControlRow {
  ControlKind kind;
  const char16_t* name;
  Rect rect;
  const char16_t* container = u"";
  const char16_t* text = u"";
  unsigned state = 0;
  std::span<const ListEntry> items = {};
  // The entry a list or drop-down starts on (a drop-down shows it as its text); -1 for none.
  int selected = -1;
};

class FormControl {
 public:
  FormControl(ControlKind kind, std::u16string name, Rect rect, std::u16string container = {});

  ControlKind Kind() const { return m_kind; }
  const std::u16string& Name() const { return m_name; }
  const Rect& Geometry() const { return m_rect; }
  // The frame this control sits in, empty for the form itself.
  const std::u16string& Container() const { return m_container; }

  // Caption of buttons, labels, frames, check and option buttons; text of text and combo boxes.
  const std::u16string& Text() const { return m_text; }
  void SetText(std::u16string text);
  bool Enabled() const { return m_enabled; }
  void SetEnabled(bool enabled);
  bool Visible() const { return m_visible; }
  void SetVisible(bool visible);
  // Progress bar value, 0 to 100.
  double Value() const { return m_value; }
  void SetValue(double value);
  // Check box: 0 unticked, 1 ticked, 2 grey. Option button: 0 or 1.
  int Checked() const { return m_checked; }
  void SetChecked(int checked);
  const std::u16string& ToolTip() const { return m_tooltip; }
  void SetToolTip(std::u16string tooltip);
  // Picture shown by an image box (a local path), empty for none.
  const std::u16string& Picture() const { return m_picture; }
  void SetPicture(std::u16string path);

  // Lists and drop-downs.
  const std::vector<std::u16string>& Items() const { return m_items; }
  void AddItem(std::u16string item, int32_t item_data = 0);
  void RemoveItem(int index);
  void SetItem(int index, std::u16string item);
  void Clear();
  int32_t ItemData(int index) const;
  bool Selected(int index) const;
  void SetSelected(int index, bool selected);
  int ListIndex() const { return m_list_index; }
  void SetListIndex(int index);
  bool MultiSelect() const { return m_multi_select; }
  void SetMultiSelect(bool multi) { m_multi_select = multi; }

  // User input, delivered by the renderer or the host; set by the control that owns the form.
  std::function<void()> on_click;
  std::function<void()> on_change;
  std::function<void(const std::vector<std::u16string>& paths)> on_drop;
  std::function<void(int index)> on_hover_item;

  // Called after any state change, so a renderer can follow the model.
  std::function<void(const FormControl&)> on_state_changed;

 private:
  void Changed();

  ControlKind m_kind;
  std::u16string m_name;
  Rect m_rect;
  std::u16string m_container;
  std::u16string m_text;
  bool m_enabled = true;
  bool m_visible = true;
  double m_value = 0;
  int m_checked = 0;
  std::u16string m_tooltip;
  std::u16string m_picture;
  std::vector<std::u16string> m_items;
  std::vector<int32_t> m_item_data;
  std::vector<bool> m_selected;
  int m_list_index = -1;
  bool m_multi_select = false;
};

class Form {
 public:
  Form(std::u16string caption, int width, int height);
  // A form laid out by a table of rows.
  Form(std::u16string caption, int width, int height, std::span<const ControlRow> rows);

  FormControl& Add(ControlKind kind, std::u16string name, Rect rect, std::u16string container = {});
  // Adds a layout's rows, in order, each as its row says it first shows.
  void Add(std::span<const ControlRow> rows);
  // The child with that name, or null.
  FormControl* Find(std::u16string_view name);
  FormControl& operator[](std::u16string_view name);
  const std::vector<std::unique_ptr<FormControl>>& Children() const { return m_children; }

  // A person's click, as on screen: an option button is chosen, a check box ticks or clears (grey
  // is for the control to set), and then the control hears the click.
  void Click(FormControl& control);
  // Chooses an option button: the option buttons of one container are a group, so the others
  // of its container are cleared.
  void Choose(FormControl& option);

  const std::u16string& Caption() const { return m_caption; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }

 private:
  std::u16string m_caption;
  int m_width;
  int m_height;
  std::vector<std::unique_ptr<FormControl>> m_children;
};

}  // namespace velmaris
