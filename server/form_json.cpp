#include "server/form_json.h"

#include "base/text.h"

namespace velmaris::server {

void WriteControl(JsonWriter& json, const FormControl& control) {
  const auto& rect = control.Geometry();
  json.BeginObject();
  json.Key("name").String(control.Name());
  json.Key("kind").String(AsciiToU16(KindName(control.Kind())));
  json.Key("container").String(control.Container());
  // One text serves as caption or as contents, depending on the kind; both keys carry it.
  json.Key("caption").String(control.Text());
  json.Key("text").String(control.Text());
  json.Key("enabled").Bool(control.Enabled());
  json.Key("visible").Bool(control.Visible());
  json.Key("value").Number(control.Value());
  json.Key("checked").Number(control.Checked());
  json.Key("items").BeginArray();
  for (const auto& item : control.Items()) json.String(item);
  json.EndArray();
  json.Key("selected").BeginArray();
  for (size_t i = 0; i < control.Items().size(); ++i) {
    if (control.Selected(static_cast<int>(i))) json.Number(static_cast<double>(i));
  }
  json.EndArray();
  json.Key("listIndex").Number(control.ListIndex());
  json.Key("multiSelect").Bool(control.MultiSelect());
  json.Key("left").Number(rect.left);
  json.Key("top").Number(rect.top);
  json.Key("width").Number(rect.width);
  json.Key("height").Number(rect.height);
  json.Key("toolTip").String(control.ToolTip());
  json.Key("picture").String(control.Picture());
  json.EndObject();
}

void WriteForm(JsonWriter& json, const Form& form) {
  json.BeginObject();
  json.Key("caption").String(form.Caption());
  json.Key("width").Number(form.Width());
  json.Key("height").Number(form.Height());
  json.Key("children").BeginArray();
  for (const auto& child : form.Children()) WriteControl(json, *child);
  json.EndArray();
  json.EndObject();
}

}  // namespace velmaris::server
