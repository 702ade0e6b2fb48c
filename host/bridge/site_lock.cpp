#include "host/bridge/site_lock.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "host/text.h"
#include "platform/ui.h"

namespace velmaris::host::bridge {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::optional<uint16_t> ParsePort(std::string_view text) {
  unsigned port = 0;
  if (text.empty() || text.size() > 5) return std::nullopt;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (error != std::errc() || end != text.data() + text.size() || port == 0 || port > 65535) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(port);
}

// "host[:port]" or "[v6]:port": the host (brackets kept) and the port text, if any.
bool SplitHostPort(std::string_view text, std::string_view& host, std::string_view& port) {
  port = {};
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    host = text.substr(0, close + 1);
    std::string_view rest = text.substr(close + 1);
    if (rest.empty()) return true;
    if (rest.front() != ':') return false;
    port = rest.substr(1);
    return !port.empty();
  }
  const size_t colon = text.rfind(':');
  host = text.substr(0, colon);
  if (colon != std::string_view::npos) {
    port = text.substr(colon + 1);
    if (port.empty()) return false;
  }
  return !host.empty();
}

bool ValidHostChars(std::string_view host) {
  if (host.front() == '[') {
    return std::all_of(host.begin() + 1, host.end() - 1,
                       [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; });
  }
  return std::all_of(host.begin(), host.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.'; });
}

}  // namespace

std::optional<std::string> NormalizeOrigin(std::string_view origin) {
  const size_t scheme_end = origin.find("://");
  if (scheme_end == std::string_view::npos) return std::nullopt;
  const std::string scheme = Lower(origin.substr(0, scheme_end));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  std::string_view rest = origin.substr(scheme_end + 3);
  // An origin is scheme, host and port: nothing after them, no user.
  if (rest.empty() || rest.find_first_of("/?#@ ") != std::string_view::npos) return std::nullopt;
  std::string_view host, port_text;
  if (!SplitHostPort(rest, host, port_text) || !ValidHostChars(host)) return std::nullopt;
  std::string normal = scheme + "://" + Lower(host);
  if (!port_text.empty()) {
    auto port = ParsePort(port_text);
    if (!port) return std::nullopt;
    const uint16_t default_port = scheme == "https" ? 443 : 80;
    if (*port != default_port) normal += ":" + std::to_string(*port);
  }
  return normal;
}

bool IsLoopbackHost(std::string_view host_header, uint16_t port) {
  std::string_view host, port_text;
  if (!SplitHostPort(host_header, host, port_text)) return false;
  // A browser always names the port it connects to unless it is the scheme's default, which a
  // bridge never listens on.
  if (ParsePort(port_text) != port) return false;
  const std::string name = Lower(host);
  return name == "127.0.0.1" || name == "[::1]" || name == "localhost";
}

SiteLock::SiteLock(std::vector<std::string> allowed, ReadLists read, Remember remember, Ask ask)
    : m_read(std::move(read)), m_remember(std::move(remember)), m_ask(std::move(ask)) {
  for (const auto& origin : allowed) {
    if (auto normal = NormalizeOrigin(origin)) m_allowed.push_back(*normal);
  }
}

void SiteLock::Decide(const std::string& origin, std::function<void(bool)> done) {
  auto listed = [&origin](const std::vector<std::string>& list) {
    return std::any_of(list.begin(), list.end(), [&origin](const std::string& entry) {
      auto normal = NormalizeOrigin(entry);
      return normal && *normal == origin;
    });
  };
  if (listed(m_allowed)) return done(true);
  const Lists lists = m_read ? m_read() : Lists{};
  // A refusal the editor wrote down stands over an allowance an admin wrote for the machine.
  if (listed(lists.refused)) return done(false);
  if (listed(lists.allowed)) return done(true);
  if (auto answered = m_answers.find(origin); answered != m_answers.end()) {
    return done(answered->second);
  }
  if (!m_ask) return done(false);
  // The box runs the loop: a second connection from the same page arrives inside it and waits.
  auto [waiting, first] = m_waiting.try_emplace(origin);
  waiting->second.push_back(std::move(done));
  if (!first) return;
  const bool allowed = AskEditor(origin);
  m_answers[origin] = allowed;
  auto callbacks = std::move(m_waiting[origin]);
  m_waiting.erase(origin);
  for (auto& callback : callbacks) callback(allowed);
}

bool SiteLock::AskEditor(const std::string& origin) {
  const std::u16string site = DecodeUtf8(origin);
  const bool allowed = m_ask(u"允许 " + site + u" 使用本机的上传和导入控件吗？",
                             msgbox::kYesNo | msgbox::kQuestion) == msgbox::kYes;
  const std::u16string remember_text = allowed
                                           ? u"以后都允许 " + site + u" 使用这些控件，不再询问吗？"
                                           : u"以后都拒绝 " + site + u"，不再询问吗？";
  if (m_ask(remember_text, msgbox::kYesNo | msgbox::kQuestion) == msgbox::kYes && m_remember) {
    std::string error;
    if (!m_remember(origin, allowed, error)) {
      m_ask(u"无法记住这个选择：" + DecodeUtf8(error), msgbox::kOkOnly | msgbox::kExclamation);
    }
  }
  return allowed;
}

}  // namespace velmaris::host::bridge
