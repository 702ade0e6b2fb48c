// Starts the reference content server on a free loopback port for one test and stops it after.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.h"

namespace velmaris::testing {

// How the server meets a client. With tls it speaks HTTPS, its certificate issued for 127.0.0.1 and
// localhost by an authority made for the run (CaFile()), unless a fault is asked for.
struct RefServerOptions {
  bool tls = false;
  // A certificate a client must refuse: "self-signed", "expired", "wrong-name" (for other.example
  // only) or "unknown-ca" (from an authority CaFile() does not hold). Implies tls.
  std::string cert_fault = {};
  // Accepts connections and never answers the TLS handshake. Implies tls.
  bool tls_stall = false;
  // Accepts connections at once and answers each handshake only after this many seconds. Implies
  // tls.
  double tls_delay = 0;
};

class RefServer {
 public:
  RefServer() : RefServer(RefServerOptions{}) {}
  explicit RefServer(const RefServerOptions& options);
  ~RefServer();
  RefServer(const RefServer&) = delete;
  RefServer& operator=(const RefServer&) = delete;

  int Port() const { return m_port; }
  bool Tls() const { return m_tls; }
  // "http://127.0.0.1:PORT", or "https://" for a TLS server, followed by `path`.
  std::u16string Url(const std::string& path) const;
  const std::filesystem::path& Root() const { return m_root.Path(); }
  // The run's test authority, to trust with SSL_CERT_FILE (see ScopedEnv); a TLS server only.
  std::filesystem::path CaFile() const { return Root() / "tls" / "ca.pem"; }
  // The name each TLS handshake asked for (SNI), in order; "" where the client sent none.
  std::vector<std::string> ServerNames() const;
  // Every raw request received so far, in arrival order.
  std::vector<std::string> Requests() const;
  // Waits (briefly) until `count` requests have been recorded.
  std::vector<std::string> WaitForRequests(size_t count) const;
  // What the server stored: article `n` (numbered from 1), how many articles there are, and the
  // record of every upload in arrival order.
  nlohmann::json Article(int n) const;
  size_t ArticleCount() const;
  std::vector<nlohmann::json> Uploads() const;

 private:
  TempDir m_root;
  bool m_tls = false;
  pid_t m_pid = -1;
  int m_port = 0;
};

// A free loopback port with nothing listening on it (bound, read, released).
int UnusedPort();
// `path` on such a port: connecting there is refused.
std::u16string RefusedUrl(const std::string& path);

// The value of the form field `name` in a stored record (an upload or an article); "<missing>"
// where it has none.
std::string Field(const nlohmann::json& record, const std::string& name);

}  // namespace velmaris::testing
