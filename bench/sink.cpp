// A fast content-server stand-in for the upload benchmarks: it reads each request's body through
// one buffer and answers 200 at once, so what is timed is the client, not a server writing to disk.
//   velmaris-sink  ->  prints the port it listens on (127.0.0.1, chosen by the system)
// Every connection gets a thread of its own and may carry several requests (curl --next keeps
// its connection). An "Expect: 100-continue" is answered. The sink ends when its standard input
// closes, so it never outlives the benchmark that started it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr size_t kHeaderLimit = 64 * 1024;
// Where bodies land. Shared by the connections: what it holds is never looked at.
char g_body[4 * 1024 * 1024];

bool SendAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The value of a header line, or empty; `name` in lower case with its colon.
std::string HeaderValue(const std::string& lower_head, const std::string& name) {
  const size_t at = lower_head.find("\r\n" + name);
  if (at == std::string::npos) return {};
  const size_t from = lower_head.find_first_not_of(' ', at + 2 + name.size());
  return lower_head.substr(from, lower_head.find("\r\n", from) - from);
}

// Answers the requests of one connection until it closes or goes wrong.
void Exchange(int fd) {
  std::string pending;  // bytes read past the previous request
  char buffer[64 * 1024];
  for (;;) {
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      if (pending.size() > kHeaderLimit) return;
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      pending.append(buffer, static_cast<size_t>(n));
    }
    const std::string head = Lower(pending.substr(0, end + 2));
    pending.erase(0, end + 4);
    const long long length = std::atoll(HeaderValue(head, "content-length:").c_str());
    if (HeaderValue(head, "expect:") == "100-continue" &&
        !SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n")) {
      return;
    }
    // The body is read and dropped, through one buffer that is reused: the sink must cost less
    // than any client it times.
    long long left = length - static_cast<long long>(std::min<size_t>(pending.size(), length));
    pending.erase(0, std::min<size_t>(pending.size(), length));
    while (left > 0) {
      const ssize_t n = recv(fd, g_body, std::min<long long>(left, sizeof g_body), 0);
      if (n <= 0) return;
      left -= n;
    }
    if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: keep-alive\r\n\r\nOK")) {
      return;
    }
  }
}

void Serve(int fd) {
  Exchange(fd);
  close(fd);
}

}  // namespace

int main() {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("velmaris-sink");
    return 1;
  }
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  std::thread([] {
    char byte;
    while (read(0, &byte, 1) > 0) {
    }
    std::_Exit(0);
  }).detach();
  for (;;) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) std::thread(Serve, fd).detach();
  }
}
