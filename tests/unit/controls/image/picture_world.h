// A fake-time world for the picture controls: every request is recorded once it has been sent
// whole and answered with what `reply` says for it (by default 200 with `reply_body`), and a
// test may act after request n was sent.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/codepage.h"
#include "controls/image/picture_batch_base.h"
#include "tests/unit/controls/image/test_pictures.h"
#include "tests/unit/controls/office/office_world.h"

namespace velmaris::testing {

class PictureWorld : public OfficeWorld {
 protected:
  using FieldList = std::vector<std::pair<std::string, std::string>>;

  // The whole answer to request n (from 1); empty sends none.
  std::function<std::string(int n, const std::string& request)> reply;

  static std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }

  // Install after the control (and so its socket) exists; again for each new control.
  void AnswerRequests() {
    m_answered = 0;
    m_seen = 0;
    requests.clear();
    auto previous = socket->on_send_progress;
    socket->on_send_progress = [this, previous](int64_t sent, int64_t remaining) {
      previous(sent, remaining);
      if (remaining != 0 || socket->Unsent() != 0 || m_answered == socket->Connects()) return;
      m_answered = socket->Connects();
      requests.push_back(socket->Sent().substr(m_seen));
      m_seen = socket->Sent().size();
      const int n = static_cast<int>(requests.size());
      std::string answer = reply ? reply(n, requests.back()) : Ok(reply_body);
      if (!answer.empty()) {
        loop.After(std::chrono::milliseconds(50), [this, answer] { socket->Deliver(answer); });
      }
      if (on_request) on_request(n);
    };
  }

  static bool IsPost(const std::string& request) {
    return RequestLine(request) == "POST /cms/savepost.asp HTTP/1.1";
  }
  // The name and filename of the request's file part, "" when it has none.
  static std::pair<std::string, std::string> FilePart(const std::string& request) {
    const size_t at = request.find("; filename=\"");
    if (at == std::string::npos) return {};
    const size_t name = request.rfind("name=\"", at) + 6;
    const size_t filename = at + 12;
    return {request.substr(name, at - 1 - name),
            request.substr(filename, request.find('"', filename) - filename)};
  }
  static std::string Gbk(std::u16string_view text) { return codepage::ToGbk(text); }
  // A dialog's answer with several files: the folder and the names, separated by NULs.
  static std::u16string Several(std::initializer_list<std::u16string_view> parts) {
    std::u16string answer;
    for (const auto& part : parts) {
      if (&part != parts.begin()) answer += u'\0';
      answer += part;
    }
    return answer;
  }

  std::u16string MakePicture(const std::string& name, int width = 40, int height = 30) {
    const auto path = files.Path() / Utf8Path(name);
    const std::string extension = path.extension().string();
    if (extension == ".gif" || extension == ".GIF") {
      WriteGif(path, width, height);
    } else if (extension == ".bmp") {
      WriteBmp(path, width, height);
    } else {
      WriteJpg(path, width, height);
    }
    return codepage::FromUtf8(path.string());
  }

  std::vector<std::u16string> Boxes() const {
    std::vector<std::u16string> texts;
    for (const auto& shown : ui.History()) {
      if (shown.kind == u"msgbox") texts.push_back(shown.text);
    }
    return texts;
  }

 private:
  int m_answered = 0;
  size_t m_seen = 0;
};

// The four buttons and two progress bars as one text: btnAddFile, btnDelFile, btnBegin and
// btnCancel enabled, ProgressBar and pbFile shown.
inline std::string ButtonState(Form& form) {
  std::string state;
  for (const char16_t* name : {u"btnAddFile", u"btnDelFile", u"btnBegin", u"btnCancel"}) {
    state += form[name].Enabled() ? '1' : '0';
  }
  state += ' ';
  for (const char16_t* name : {u"ProgressBar", u"pbFile"}) {
    state += form[name].Visible() ? '1' : '0';
  }
  return state;
}
inline constexpr char kEmpty[] = "1000 00";
inline constexpr char kReady[] = "1110 00";
inline constexpr char kRunning[] = "0001 11";
inline constexpr char kStopping[] = "0010 10";
inline constexpr char kDone[] = "1110 00";

}  // namespace velmaris::testing
