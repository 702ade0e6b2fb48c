#include "tests/support/ref_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "base/codepage.h"

namespace velmaris::testing {

RefServer::RefServer(const RefServerOptions& options)
    : m_tls(options.tls || !options.cert_fault.empty() || options.tls_stall ||
            options.tls_delay > 0) {
  std::vector<std::string> args = {
      "python3",      std::string(VELMARIS_SOURCE_DIR) + "/tools/refserver.py",
      "--root",       m_root.Path().string(),
      "--port",       "0",
      "--parent-pid", std::to_string(getpid()),
      "--idle-exit",  "120",
      "--quiet"};
  if (m_tls) args.push_back("--tls");
  if (!options.cert_fault.empty()) args.insert(args.end(), {"--cert-fault", options.cert_fault});
  if (options.tls_stall) args.push_back("--tls-stall");
  if (options.tls_delay > 0)
    args.insert(args.end(), {"--tls-delay", std::to_string(options.tls_delay)});
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  m_pid = fork();
  if (m_pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  FILE* in = fdopen(out[0], "r");
  if (in == nullptr || std::fscanf(in, "%d", &m_port) != 1) {
    if (in) fclose(in);
    throw std::runtime_error("the reference server did not start");
  }
  fclose(in);
}

RefServer::~RefServer() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    int status;
    waitpid(m_pid, &status, 0);
  }
}

std::u16string RefServer::Url(const std::string& path) const {
  return codepage::FromUtf8((m_tls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                            std::to_string(m_port) + path);
}

std::vector<std::string> RefServer::ServerNames() const {
  std::vector<std::string> names;
  std::istringstream lines(ReadFile(Root() / "tls" / "server-names.txt"));
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

std::vector<std::string> RefServer::Requests() const {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(Root() / "requests", error)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> requests;
  for (const auto& file : files) requests.push_back(ReadFile(file));
  return requests;
}

std::vector<std::string> RefServer::WaitForRequests(size_t count) const {
  for (int i = 0; i < 200; ++i) {
    auto requests = Requests();
    if (requests.size() >= count) return requests;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return Requests();
}

nlohmann::json RefServer::Article(int n) const {
  char name[32];
  std::snprintf(name, sizeof name, "articles/%06d.json", n);
  return nlohmann::json::parse(ReadFile(Root() / name));
}

size_t RefServer::ArticleCount() const {
  std::error_code error;
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Root() / "articles", error)) {
    count += entry.path().extension() == ".json";
  }
  return count;
}

std::vector<nlohmann::json> RefServer::Uploads() const {
  std::vector<nlohmann::json> records;
  std::istringstream lines(ReadFile(Root() / "uploads.jsonl"));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) records.push_back(nlohmann::json::parse(line));
  }
  return records;
}

int UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

std::u16string RefusedUrl(const std::string& path) {
  return codepage::FromUtf8("http://127.0.0.1:" + std::to_string(UnusedPort()) + path);
}

std::string Field(const nlohmann::json& record, const std::string& name) {
  for (const auto& field : record["fields"]) {
    if (field[0] == name) return field[1];
  }
  return "<missing>";
}

}  // namespace velmaris::testing
