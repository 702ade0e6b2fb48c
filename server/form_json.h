// A form and its child controls as the host services give them: JSON text.
#pragma once

#include "platform/forms.h"
#include "server/json.h"

namespace velmaris::server {

// {"name","kind","container","caption","text","enabled","visible","value","checked","items",
//  "selected","listIndex","multiSelect","left","top","width","height","toolTip","picture"}
void WriteControl(JsonWriter& json, const FormControl& control);
// {"caption","width","height","children":[..]}
void WriteForm(JsonWriter& json, const Form& form);

}  // namespace velmaris::server
