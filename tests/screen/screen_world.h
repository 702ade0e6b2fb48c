// What a screen test stands on: the Qt loop, dialogs answered as the host answers them, sockets on
// the loop, and the five controls behind one interface.
#pragma once

#include <QString>
#include <cstdlib>
#include <memory>
#include <string>

#include "controls/file/file_upload.h"
#include "controls/file/multi_upload.h"
#include "controls/image/image_import.h"
#include "controls/image/image_upload.h"
#include "controls/office/office_import.h"
#include "platform/headless/headless_ui.h"
#include "platform/platform.h"
#include "platform/posix/posix_socket.h"
#include "platform/qt/qt_loop.h"

namespace velmaris::testing {

inline QString Q(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Where the screenshots go: screens/ in the build folder unless VELMARIS_SCREENS says otherwise.
inline std::string ScreensDir() {
  const char* dir = std::getenv("VELMARIS_SCREENS");
  return dir != nullptr && *dir != '\0' ? dir : VELMARIS_SCREENS_DIR;
}

struct ScreenWorld {
  QtLoop loop;
  HeadlessUi ui;
  Platform platform{loop, ui, [this] { return std::make_unique<PosixSocket>(loop); }};
};

class AnyControl {
 public:
  virtual ~AnyControl() = default;
  virtual Form& GetForm() = 0;
};

template <class C>
class Held : public AnyControl {
 public:
  explicit Held(Platform& platform) : control(platform) {}
  Form& GetForm() override { return control.GetForm(); }
  C control;
};

}  // namespace velmaris::testing
