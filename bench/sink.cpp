// A fast content-server stand-in for the upload benchmarks: it reads each request's body through
// one buffer and answers 200 at once, so what is timed is the client, not a server writing to disk.
//   velmaris-sink [--tls CERT KEY]  ->  prints the port it listens on (127.0.0.1, chosen by the
//                                       system); with --tls it speaks HTTPS (TLS 1.2 or later)
//                                       and writes each connection's protocol and cipher to stderr
// Every connection gets a thread of its own and may carry several requests (curl --next keeps
// its connection). An "Expect: 100-continue" is answered. The sink ends when its standard input
// closes, so it never outlives the benchmark that started it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr size_t kHeaderLimit = 64 * 1024;
// Where bodies land. Shared by the connections: what it holds is never looked at.
char g_body[4 * 1024 * 1024];

// Set by --tls: every connection is then wrapped in TLS.
SSL_CTX* g_tls = nullptr;

// One accepted connection, plain or TLS.
struct Connection {
  int fd;
  SSL* ssl = nullptr;

  ssize_t Receive(char* into, size_t size) {
    if (ssl == nullptr) return recv(fd, into, size, 0);
    const int n = SSL_read(ssl, into, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
    return n > 0 ? n : -1;
  }

  ssize_t Send(const char* from, size_t size) {
    if (ssl == nullptr) return send(fd, from, size, MSG_NOSIGNAL);
    const int n = SSL_write(ssl, from, static_cast<int>(size));
    return n > 0 ? n : -1;
  }
};

bool SendAll(Connection& connection, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = connection.Send(text.data() + done, text.size() - done);
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
void Exchange(Connection& connection) {
  std::string pending;  // bytes read past the previous request
  char buffer[64 * 1024];
  for (;;) {
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      if (pending.size() > kHeaderLimit) return;
      const ssize_t n = connection.Receive(buffer, sizeof buffer);
      if (n <= 0) return;
      pending.append(buffer, static_cast<size_t>(n));
    }
    const std::string head = Lower(pending.substr(0, end + 2));
    pending.erase(0, end + 4);
    const long long length = std::atoll(HeaderValue(head, "content-length:").c_str());
    if (HeaderValue(head, "expect:") == "100-continue" &&
        !SendAll(connection, "HTTP/1.1 100 Continue\r\n\r\n")) {
      return;
    }
    // The body is read and dropped, through one buffer that is reused: the sink must cost less
    // than any client it times.
    long long left = length - static_cast<long long>(std::min<size_t>(pending.size(), length));
    pending.erase(0, std::min<size_t>(pending.size(), length));
    while (left > 0) {
      const ssize_t n = connection.Receive(g_body, std::min<long long>(left, sizeof g_body));
      if (n <= 0) return;
      left -= n;
    }
    if (!SendAll(connection,
                 "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: keep-alive\r\n\r\nOK")) {
      return;
    }
  }
}

void Serve(int fd) {
  Connection connection{fd};
  if (g_tls != nullptr) {
    connection.ssl = SSL_new(g_tls);
    if (connection.ssl != nullptr && SSL_set_fd(connection.ssl, fd) == 1 &&
        SSL_accept(connection.ssl) == 1) {
      // What was negotiated, for the benchmark's page: one line a connection.
      std::fprintf(stderr, "%s %s\n", SSL_get_version(connection.ssl),
                   SSL_get_cipher_name(connection.ssl));
      Exchange(connection);
      SSL_shutdown(connection.ssl);
    }
    SSL_free(connection.ssl);
  } else {
    Exchange(connection);
  }
  close(fd);
}

// The server context of --tls, or null after printing why not.
SSL_CTX* MakeTlsContext(const char* cert, const char* key) {
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (context == nullptr || SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1 ||
      SSL_CTX_use_certificate_chain_file(context, cert) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, key, SSL_FILETYPE_PEM) != 1) {
    ERR_print_errors_fp(stderr);
    SSL_CTX_free(context);
    return nullptr;
  }
  // Each connection has a thread and lives as long as the benchmark: no tickets to resume.
  SSL_CTX_set_num_tickets(context, 0);
  return context;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--tls") == 0) {
    g_tls = MakeTlsContext(argv[2], argv[3]);
    if (g_tls == nullptr) return 1;
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: velmaris-sink [--tls CERT KEY]\n");
    return 2;
  }
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
