// Uploads files with FileUpload on the real loop and sockets and prints each server answer:
//   velmaris-upload URL SERVER_DIR FILE...
#include <cstdio>

#include "base/codepage.h"
#include "base/error.h"
#include "controls/file/file_upload.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"

using namespace velmaris;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s URL SERVER_DIR FILE...\n", argv[0]);
    return 2;
  }
  PollLoop loop;
  HeadlessUi ui;
  Platform platform{loop, ui, [&] { return std::make_unique<PosixSocket>(loop); }};
  FileUpload control(platform);
  int failures = 0;
  for (int i = 3; i < argc; ++i) {
    try {
      control.StartUpload(codepage::FromUtf8(argv[2]), codepage::FromUtf8(argv[1]),
                          codepage::FromUtf8(argv[i]), i - 2);
      std::string answer = codepage::ToUtf8(control.NewFileName());
      std::printf("%s -> %s\n", argv[i], answer.c_str());
      if (answer == "Error") ++failures;
    } catch (const VbError& e) {
      std::printf("%s: error %d: %s\n", argv[i], e.Number(), e.what());
      ++failures;
    }
  }
  for (const auto& shown : ui.History()) {
    std::printf("message box: %s\n", codepage::ToUtf8(shown.text).c_str());
  }
  return failures == 0 ? 0 : 1;
}
