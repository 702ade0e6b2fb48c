// What a control needs of its surroundings, chosen at the edge (host start-up, test fixtures).
#pragma once

#include "platform/message_loop.h"
#include "platform/tcp_socket.h"
#include "platform/ui.h"

namespace velmaris {

struct Platform {
  MessageLoop& loop;
  Ui& ui;
  SocketFactory new_socket;
};

}  // namespace velmaris
