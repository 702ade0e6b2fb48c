// A soak of one FileUpload control: thousands of uploads in a row against the reference content
// server on loopback, the process's open descriptors and resident memory sampled as it goes.
//   velmaris-soak [--count N] [--every N] [--faults] [--size BYTES]
// --faults sends every fifth upload through a fault of the server (error statuses, a closed
// connection, garbage, chunked and compressed replies, a refused connection), so the error paths
// are soaked too. Prints one line per sample; exits 1 when an upload gave the wrong reply, a
// package file was left in TEMP, or the descriptors grew.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "controls/file/file_upload.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"
#include "tests/support/ref_server.h"

using namespace velmaris;
namespace fs = std::filesystem;

namespace {

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count - 1;  // the listing's own descriptor
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

struct Route {
  std::u16string path;
  bool stored;  // the server keeps the file and NewFileName must name it, else reads "Error"
};

// The server keeps every copy of the one file: the first under its own name, the k-th as soak_k.
std::u16string CopyAddress(int copy) {
  return copy == 1 ? u"/files/soak/soak.bin"
                   : u"/files/soak/soak_" + codepage::FromUtf8(std::to_string(copy)) + u".bin";
}

}  // namespace

int main(int argc, char** argv) {
  int count = 5000;
  int every = 500;
  bool faults = false;
  size_t size = 4096;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--count" && i + 1 < argc) {
      count = std::atoi(argv[++i]);
    } else if (arg == "--every" && i + 1 < argc) {
      every = std::atoi(argv[++i]);
    } else if (arg == "--size" && i + 1 < argc) {
      size = static_cast<size_t>(std::atol(argv[++i]));
    } else if (arg == "--faults") {
      faults = true;
    } else {
      std::fprintf(stderr, "usage: %s [--count N] [--every N] [--faults] [--size BYTES]\n",
                   argv[0]);
      return 2;
    }
  }
  if (count <= 0 || every <= 0) return 2;

  char scratch_template[] = "/tmp/velmaris-soak-XXXXXX";
  if (mkdtemp(scratch_template) == nullptr) return 2;
  const fs::path scratch = scratch_template;
  const fs::path temp = scratch / "temp";
  fs::create_directories(temp);
  setenv("TEMP", temp.c_str(), 1);
  const fs::path file = scratch / "soak.bin";
  {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(file, std::ios::binary) << bytes;
  }

  int status = 0;
  {
    testing::RefServer server;
    PollLoop loop;
    HeadlessUi ui;
    Platform platform{loop, ui, [&] { return std::make_unique<PosixSocket>(loop); }};
    FileUpload control(platform);

    std::vector<Route> routes = {{server.Url("/upload.asp"), true}};
    if (faults) {
      for (const char* mode : {"404", "500", "close", "garbage", "chunked", "gzip", "split"}) {
        const bool whole = std::strcmp(mode, "chunked") == 0 || std::strcmp(mode, "gzip") == 0 ||
                           std::strcmp(mode, "split") == 0;
        routes.push_back({server.Url(std::string("/_fault/") + mode + "/upload.asp"), whole});
      }
      routes.push_back({codepage::FromUtf8("http://127.0.0.1:" +
                                           std::to_string(testing::UnusedPort()) + "/upload.asp"),
                        false});
    }

    const std::u16string local = codepage::FromUtf8(file.string());
    std::printf("%d uploads of %zu bytes%s through one FileUpload control\n", count, size,
                faults ? ", every fifth through a fault" : "");
    // Growth is counted from the first sample after a warm-up, when the loop, the socket and the
    // allocator have reached their working size.
    std::printf("%8s %6s %10s %14s %10s\n", "uploads", "fds", "RSS KB", "since warm-up", "seconds");
    const auto start = std::chrono::steady_clock::now();
    const int first_fds = OpenDescriptors();
    std::printf("%8d %6d %10ld %14s %10.1f\n", 0, first_fds, ResidentKb(), "", 0.0);
    long warm_rss = -1;
    size_t boxes = 0;
    int wrong = 0;
    int copies = 0;
    int left_behind = 0;
    int last_fds = first_fds;
    size_t fault_turn = 0;
    for (int n = 1; n <= count; ++n) {
      const Route& route =
          faults && n % 5 == 0 ? routes[1 + fault_turn++ % (routes.size() - 1)] : routes[0];
      control.SetNewFileName(u"");
      try {
        control.StartUpload(u"soak", route.path, local, n);
      } catch (const VbError& e) {
        std::printf("upload %d: error %d %s\n", n, e.Number(),
                    codepage::ToUtf8(e.Description()).c_str());
      }
      if (control.NewFileName() != (route.stored ? CopyAddress(++copies) : u"Error")) {
        if (++wrong <= 5) {
          std::printf("upload %d to %s: reply %s\n", n, codepage::ToUtf8(route.path).c_str(),
                      codepage::ToUtf8(control.NewFileName()).c_str());
        }
      }
      if (!fs::is_empty(temp)) ++left_behind;
      if (n % every == 0) {
        // The boxes a refused connection shows are counted, not kept.
        boxes += ui.History().size();
        ui.ClearHistory();
        last_fds = OpenDescriptors();
        const long rss = ResidentKb();
        if (warm_rss < 0) warm_rss = rss;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%8d %6d %10ld %+14ld %10.1f\n", n, last_fds, rss, rss - warm_rss, seconds);
        std::fflush(stdout);
      }
    }
    boxes += ui.History().size();
    std::printf("wrong replies: %d, uploads that left a package file: %d, boxes shown: %zu\n",
                wrong, left_behind, boxes);
    if (wrong > 0 || left_behind > 0 || last_fds > first_fds) status = 1;
  }
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return status;
}
