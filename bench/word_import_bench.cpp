// Imports one Word document with OfficeImport on a real LibreOffice and the real loop, page by
// page and as one page, and prints each run's wall time. For bench/word_import_bench.py.
//   velmaris-word-import URL DOCUMENT RUNS
// URL is the content server's base ("http://127.0.0.1:PORT"). The office is started (and its
// first document loaded) before the runs are timed: that first one-page import is printed as
// "cold", as a user meets it when the office is not running yet. RUNS may be 0.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/codepage.h"
#include "base/error.h"
#include "controls/office/office_import.h"
#include "platform/headless/headless_ui.h"
#include "platform/libreoffice/libreoffice_automation.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"

using namespace velmaris;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s URL DOCUMENT RUNS\n", argv[0]);
    return 2;
  }
  const std::u16string server = codepage::FromUtf8(argv[1]);
  const std::u16string document = codepage::FromUtf8(argv[2]);
  const int runs = std::atoi(argv[3]);
  const char* temp = std::getenv("TEMP");
  if (temp == nullptr || *temp == '\0') {
    std::fprintf(stderr, "set TEMP to a scratch folder\n");
    return 2;
  }

  PollLoop loop;
  HeadlessUi ui;
  LibreOfficeOptions options;
  options.profile_dir = std::filesystem::path(temp) / "office-profile";
  options.pipe_name = "velmaris_bench_" + std::to_string(getpid());
  Platform platform{loop, ui, [&] { return std::make_unique<PosixSocket>(loop); },
                    [&] { return MakeLibreOfficeAutomation(options); }};
  OfficeImport control(platform);
  control.Init(server + u"/cms/upload.asp", server + u"/cms/savepost.asp", u"bench", 1, u"bench");

  using Clock = std::chrono::steady_clock;
  try {
    const auto cold_start = Clock::now();
    control.ImportDocFileOnePage(document, u"1", u"bench");  // warm-up: starts the office
    const std::chrono::duration<double> cold = Clock::now() - cold_start;
    std::printf("cold %.6f\n", cold.count());
    std::fflush(stdout);
    for (int run = 0; run < runs; ++run) {
      for (const bool split : {true, false}) {
        const auto start = Clock::now();
        if (split) {
          control.ImportDocFile(document, u"1", u"bench");
        } else {
          control.ImportDocFileOnePage(document, u"1", u"bench");
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        std::printf("%s %.6f\n", split ? "split" : "one-page", took.count());
        std::fflush(stdout);
      }
    }
  } catch (const VbError& e) {
    std::fprintf(stderr, "error %d: %s\n", e.Number(), codepage::ToUtf8(e.Description()).c_str());
    return 1;
  }
  return 0;
}
