// A fake-time world for the importing control: every request the control sends is answered (after
// it has been sent whole) and recorded on its own, and a test may act after request n was sent.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/multipart.h"
#include "tests/support/transfer_fixture.h"

namespace velmaris::testing {

class OfficeWorld : public FakeWorld {
 protected:
  // Each request as sent: header and body.
  std::vector<std::string> requests;
  // Called once request n (from 1) has been sent, before its answer arrives.
  std::function<void(int n)> on_request;
  std::string reply_body = "OK";
  // The status request n (from 1) is answered with, with `reply_body`; "" answers nothing at all.
  // Unset: "200 OK" for every request.
  std::function<std::string(int n)> status;

  // Install after the control (and so its socket) exists; again for each new control.
  void AnswerEveryRequest() {
    m_answered = 0;
    m_seen = 0;
    auto previous = socket->on_send_progress;
    socket->on_send_progress = [this, previous](int64_t sent, int64_t remaining) {
      previous(sent, remaining);
      if (remaining != 0 || socket->Unsent() != 0 || m_answered == socket->Connects()) return;
      m_answered = socket->Connects();
      requests.push_back(socket->Sent().substr(m_seen));
      m_seen = socket->Sent().size();
      const int n = static_cast<int>(requests.size());
      const std::string line = status ? status(n) : "200 OK";
      if (!line.empty()) {
        std::string reply = "HTTP/1.1 " + line +
                            "\r\nContent-Length: " + std::to_string(reply_body.size()) +
                            "\r\n\r\n" + reply_body;
        loop.After(std::chrono::milliseconds(50), [this, reply] { socket->Deliver(reply); });
      }
      if (on_request) on_request(n);
    };
  }

  static std::string RequestLine(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
  }
  static std::string Body(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
  }
  // The text fields of a request, in order, values as sent (GBK).
  static std::vector<std::pair<std::string, std::string>> Fields(const std::string& request) {
    std::vector<std::pair<std::string, std::string>> fields;
    const std::string body = Body(request);
    const std::string opener = std::string("--") + kBoundary + "\r\n";
    for (size_t at = body.find(opener); at != std::string::npos;) {
      size_t head = at + opener.size();
      size_t head_end = body.find("\r\n\r\n", head);
      size_t next = body.find("\r\n--" + std::string(kBoundary), head_end);
      std::string header = body.substr(head, head_end - head);
      if (header.find("filename=") == std::string::npos) {
        size_t name = header.find("name=\"") + 6;
        fields.emplace_back(header.substr(name, header.find('"', name) - name),
                            body.substr(head_end + 4, next - head_end - 4));
      }
      at = body.find(opener, next);
    }
    return fields;
  }
  static std::string Field(const std::string& request, const std::string& name) {
    for (const auto& field : Fields(request)) {
      if (field.first == name) return field.second;
    }
    return "<missing>";
  }

 private:
  int m_answered = 0;
  size_t m_seen = 0;
};

}  // namespace velmaris::testing
