// The process's QApplication, made the first time a thread asks for windows. Headless runs never
// come here, so they need no display.
#pragma once

#include <memory>

class QApplication;

namespace velmaris {

// Whether Qt can open windows here: a platform was chosen (QT_QPA_PLATFORM, "offscreen" for one
// without a screen) or a display is set. Without either Qt would abort the process.
bool DisplayAvailable();

// Makes a QApplication when the process has none and returns it (the caller owns it); returns null
// when one exists already, made by whoever embeds us. Either way the forms' font is set.
std::unique_ptr<QApplication> MakeApplicationIfNone();

// The font of every form: a CJK sans-serif at 12 pixels, since the geometry is in pixels too.
void UseFormFont();

}  // namespace velmaris
