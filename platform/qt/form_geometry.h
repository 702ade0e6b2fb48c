// Where a form's controls go on screen. The forms are laid out in twips; on screen a pixel is 15
// twips (96 dots an inch), the ratio the forms were drawn at.
#pragma once

#include <QRect>

#include "platform/forms.h"

namespace velmaris {

inline constexpr int kTwipsPerPixel = 15;

// Twips to pixels, rounded to the nearest pixel.
int Pixels(int twips);
QRect PixelRect(const Rect& twips);

// Whether a text box shows several lines: one at least two lines of text high. Such boxes hold
// logs and long texts and scroll.
bool MultiLine(const FormControl& box);

}  // namespace velmaris
