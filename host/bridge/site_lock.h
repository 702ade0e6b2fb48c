// Which pages may reach the controls: an origin on the allow list (the command line's, the
// user's and the machine's), or one the editor allowed when asked. Everything here runs on the
// controls' thread, where the editor's boxes appear.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris::host::bridge {

// An origin as browsers send it, made comparable: scheme and host lower-cased, the scheme's
// default port dropped ("HTTPS://Cms.Example:443" → "https://cms.example"). Nothing for "null",
// an origin with a path, user or query, or anything else malformed.
std::optional<std::string> NormalizeOrigin(std::string_view origin);

// True when `host` (a Host header) names this machine's loopback at `port`: 127.0.0.1, [::1] or
// localhost, with that port. A page of another name that resolves to loopback (DNS rebinding)
// sends its own name and is refused.
bool IsLoopbackHost(std::string_view host, uint16_t port);

class SiteLock {
 public:
  // Shows a box (classic style and answer numbers) and gives the button chosen.
  using Ask = std::function<int(const std::u16string& text, int style)>;
  // The lists the editor and the admin keep, read again for every decision so that an edit
  // applies at once.
  struct Lists {
    std::vector<std::string> allowed, refused;
  };
  using ReadLists = std::function<Lists()>;
  // Writes the editor's lasting answer; false with the reason when it cannot.
  using Remember = std::function<bool(const std::string& origin, bool allowed, std::string& error)>;

  // `ask` is empty when nobody can be asked (no display): unknown origins are then refused.
  SiteLock(std::vector<std::string> allowed, ReadLists read, Remember remember, Ask ask);

  // Calls `done` once with the decision on `origin` (normalized). Asks the editor at most once per
  // origin and run: an origin asked about while its box is open waits for that answer.
  void Decide(const std::string& origin, std::function<void(bool allowed)> done);

 private:
  bool AskEditor(const std::string& origin);

  std::vector<std::string> m_allowed;
  ReadLists m_read;
  Remember m_remember;
  Ask m_ask;
  std::map<std::string, bool> m_answers;  // this run's answers
  std::map<std::string, std::vector<std::function<void(bool)>>> m_waiting;
};

}  // namespace velmaris::host::bridge
