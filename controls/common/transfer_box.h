// How the controls tell the user of a failure their transfer reports: a box with the text alone.
#pragma once

#include <functional>
#include <string>

#include "platform/ui.h"

namespace velmaris {

inline std::function<void(const std::u16string& text)> TransferErrorBox(Ui& ui) {
  return [&ui](const std::u16string& text) { ui.MessageBox(text, msgbox::kOkOnly, u""); };
}

}  // namespace velmaris
