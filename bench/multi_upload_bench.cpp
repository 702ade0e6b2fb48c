// Uploads a folder tree with MultiUpload on the real loop and sockets, the way a user does it:
// the folder is picked, the page names the server directory and address, "开始上传" is pressed.
//   velmaris-multi-upload URL SERVER_DIR FOLDER
// Prints how many files were sent and every message box shown; exits with 0 when the only box
// was the completion message.
#include <cstdio>

#include "base/codepage.h"
#include "base/error.h"
#include "controls/file/multi_upload.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"

using namespace velmaris;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s URL SERVER_DIR FOLDER\n", argv[0]);
    return 2;
  }
  PollLoop loop;
  HeadlessUi ui;
  Platform platform{loop, ui, [&] { return std::make_unique<PosixSocket>(loop); }};
  MultiUpload control(platform);
  try {
    ui.QueueFolderAnswer(codepage::FromUtf8(argv[3]));
    control.GetForm()[u"Command1"].on_click();
    control.StartUpload(codepage::FromUtf8(argv[2]), codepage::FromUtf8(argv[1]));
    control.GetForm()[u"Command2"].on_click();
  } catch (const VbError& e) {
    std::printf("error %d: %s\n", e.Number(), codepage::ToUtf8(e.Description()).c_str());
    return 1;
  }
  int boxes = 0;
  for (const auto& shown : ui.History()) {
    if (shown.kind != u"msgbox") continue;
    ++boxes;
    std::printf("message box: %s\n", codepage::ToUtf8(shown.text).c_str());
  }
  std::printf("%lld of %lld bytes sent\n", static_cast<long long>(control.SentBytes()),
              static_cast<long long>(control.TotalBytes()));
  return boxes == 1 ? 0 : 1;
}
