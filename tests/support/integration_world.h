// What a control under test needs around it against the reference content server: a loop and real
// sockets, a headless screen that answers from a script, a TEMP of its own, a folder for the
// test's local files, and the server.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/forms.h"
#include "platform/headless/headless_ui.h"
#include "platform/platform.h"
#include "platform/posix/poll_loop.h"
#include "tests/support/ref_server.h"
#include "tests/support/temp_dir.h"

namespace velmaris {
class MultiUpload;
}

namespace velmaris::testing {

// The world, on a loop its owner keeps.
class ServerWorld {
 public:
  // Over HTTPS when the options say so, its test authority trusted through SSL_CERT_FILE.
  explicit ServerWorld(MessageLoop& loop, const RefServerOptions& server_options = {});
  ServerWorld(const ServerWorld&) = delete;
  ServerWorld& operator=(const ServerWorld&) = delete;

  HeadlessUi ui;
  Platform platform;
  TempDir temp;
  ScopedEnv temp_env{"TEMP", temp.Path().string().c_str()};
  TempDir files;
  RefServer server;
  std::optional<ScopedEnv> trust;  // SSL_CERT_FILE, for a server over HTTPS

  // Writes a local file; returns its full path.
  std::u16string File(const std::string& name, const std::string& bytes) const;
  // The message boxes shown so far; those saying `left_out` are not among them, unless it is
  // empty.
  std::vector<HeadlessUi::Shown> Boxes(std::u16string_view left_out = {}) const;
  // The address the server answered its newest upload with, "" before any: a name it chose, as
  // a file uploaded again goes under a new name.
  std::u16string LastAddress() const;
  // Whether TEMP is empty: an upload writes nothing there.
  bool TempIsEmpty() const;
  // Lists `paths` in a picture control, one file dialog each.
  void AddPictures(Form& form, const std::vector<std::u16string>& paths);
  // MultiUpload sends the local folder `folder` to `url`, into the server folder `server_folder`,
  // as its user does: picks the folder, then presses start.
  void UploadFolder(MultiUpload& control, const std::string& folder,
                    const std::u16string& server_folder, const std::u16string& url);
};

// Holds a world's loop; a base, so that the loop is made before the world and ended after it.
template <class Loop>
struct LoopHolder {
  template <class... Args>
  explicit LoopHolder(Args&&... args) : loop(std::forward<Args>(args)...) {}
  Loop loop;
};

// A world on a loop of its own, the poll loop unless a test needs another.
template <class Loop = PollLoop>
class World : public LoopHolder<Loop>, public ServerWorld {
 public:
  template <class... Args>
  explicit World(Args&&... args)
      : LoopHolder<Loop>(std::forward<Args>(args)...), ServerWorld(this->loop) {}
  template <class... Args>
  explicit World(const RefServerOptions& server_options, Args&&... args)
      : LoopHolder<Loop>(std::forward<Args>(args)...), ServerWorld(this->loop, server_options) {}
};

// A test fixture in such a world.
class IntegrationTest : public ::testing::Test, public World<> {};

}  // namespace velmaris::testing
