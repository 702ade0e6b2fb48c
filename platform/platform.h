// What a control needs of its surroundings, chosen at the edge (host start-up, test fixtures).
#pragma once

#include <functional>
#include <memory>

#include "platform/message_loop.h"
#include "platform/office_automation.h"
#include "platform/tcp_socket.h"
#include "platform/ui.h"

namespace velmaris {

struct Platform {
  MessageLoop& loop;
  Ui& ui;
  SocketFactory new_socket;
  // The office applications; made on first use by the control that imports documents. Empty
  // where no office is offered: the importers then report that the program cannot be started.
  std::function<std::unique_ptr<OfficeAutomation>()> office = {};
};

}  // namespace velmaris
