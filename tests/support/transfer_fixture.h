// A fake-time world for one control: fake loop, a fake socket per connection, a headless Ui and
// a private TEMP folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "base/codepage.h"
#include "platform/headless/headless_ui.h"
#include "platform/platform.h"
#include "tests/support/fake_loop.h"
#include "tests/support/fake_socket.h"
#include "tests/support/temp_dir.h"

namespace velmaris::testing {

class FakeWorld : public ::testing::Test {
 protected:
  FakeLoop loop;
  HeadlessUi ui;
  FakeSocket* socket = nullptr;
  Platform platform{loop, ui, [this] {
                      auto made = std::make_unique<FakeSocket>(loop);
                      socket = made.get();
                      return made;
                    }};
  TempDir temp;
  ScopedEnv temp_env{"TEMP", temp.Path().string().c_str()};
  TempDir files;

  // Answers the next request with `reply` once everything has been sent.
  void ReplyAfterSend(const std::string& reply,
                      std::chrono::milliseconds delay = std::chrono::milliseconds(50)) {
    auto previous = socket->on_send_progress;
    socket->on_send_progress = [this, previous, reply, delay](int64_t sent, int64_t remaining) {
      previous(sent, remaining);
      if (remaining == 0 && socket->Unsent() == 0 && !m_replied) {
        m_replied = true;
        loop.After(delay, [this, reply] { socket->Deliver(reply); });
      }
    };
  }

  bool TempIsEmpty() const {
    for (const auto& entry : std::filesystem::directory_iterator(temp.Path())) {
      ADD_FAILURE() << "left in TEMP: " << entry.path();
    }
    return std::filesystem::is_empty(temp.Path());
  }

 private:
  bool m_replied = false;
};

}  // namespace velmaris::testing
