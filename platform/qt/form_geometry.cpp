#include "platform/qt/form_geometry.h"

namespace velmaris {

namespace {
// Two lines of the forms' text and the box's border.
constexpr int kMultiLineTwips = 600;
}  // namespace

int Pixels(int twips) {
  const int half = kTwipsPerPixel / 2;
  return twips >= 0 ? (twips + half) / kTwipsPerPixel : -((-twips + half) / kTwipsPerPixel);
}

QRect PixelRect(const Rect& twips) {
  return QRect(Pixels(twips.left), Pixels(twips.top), Pixels(twips.width), Pixels(twips.height));
}

bool MultiLine(const FormControl& box) {
  return box.Kind() == ControlKind::kTextBox && box.Geometry().height >= kMultiLineTwips;
}

}  // namespace velmaris
