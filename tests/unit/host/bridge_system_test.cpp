#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/bridge/system/autostart.h"
#include "host/bridge/system/origin_store.h"
#include "host/bridge/system/peer_user.h"
#include "tests/support/temp_dir.h"

namespace velmaris::host::bridge {
namespace {

using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;

TcpEndpoint EndpointOf(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    return {text, ntohs(v4.sin_port)};
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
  inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
  return {text, ntohs(v6.sin6_port)};
}

// A listening socket on a free loopback port.
struct Listener {
  int fd = -1;
  sockaddr_storage address{};
  socklen_t size = 0;

  Listener(int family, bool dual_stack) {
    fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (family == AF_INET) {
      auto& v4 = reinterpret_cast<sockaddr_in&>(address);
      v4.sin_family = AF_INET;
      v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      size = sizeof v4;
    } else {
      const int v6_only = dual_stack ? 0 : 1;
      setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6_only, sizeof v6_only);
      auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
      v6.sin6_family = AF_INET6;
      v6.sin6_addr = in6addr_loopback;
      // Both families, still on loopback only: 127.0.0.1 as an IPv6 socket sees it.
      if (dual_stack) inet_pton(AF_INET6, "::ffff:127.0.0.1", &v6.sin6_addr);
      size = sizeof v6;
    }
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    listen(fd, 4);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  }
  ~Listener() { close(fd); }
};

// Connects to `target` on loopback from this process or from a child running as `user`.
struct Client {
  int fd = -1;
  pid_t child = 0;
  int hold = -1;  // closed to let the child go

  Client(int family, uint16_t port, const passwd* user) {
    sockaddr_storage target{};
    socklen_t size;
    if (family == AF_INET) {
      auto& v4 = reinterpret_cast<sockaddr_in&>(target);
      v4.sin_family = AF_INET;
      v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      v4.sin_port = htons(port);
      size = sizeof v4;
    } else {
      auto& v6 = reinterpret_cast<sockaddr_in6&>(target);
      v6.sin6_family = AF_INET6;
      v6.sin6_addr = in6addr_loopback;
      v6.sin6_port = htons(port);
      size = sizeof v6;
    }
    if (!user) {
      fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
      connect(fd, reinterpret_cast<sockaddr*>(&target), size);
      return;
    }
    int ready[2], wait[2];
    if (pipe(ready) != 0 || pipe(wait) != 0) return;
    child = fork();
    if (child == 0) {
      close(ready[0]);
      close(wait[1]);
      char done = 0;
      if (setgid(user->pw_gid) == 0 && setuid(user->pw_uid) == 0) {
        const int socket_fd = socket(family, SOCK_STREAM, 0);
        done = connect(socket_fd, reinterpret_cast<sockaddr*>(&target), size) == 0 ? 1 : 0;
      }
      (void)!write(ready[1], &done, 1);
      (void)!read(wait[0], &done, 1);
      _exit(0);
    }
    close(ready[1]);
    close(wait[0]);
    hold = wait[1];
    char done = 0;
    if (read(ready[0], &done, 1) != 1 || !done) ADD_FAILURE() << "the child did not connect";
    close(ready[0]);
  }
  ~Client() {
    if (fd >= 0) close(fd);
    if (child > 0) {
      close(hold);
      waitpid(child, nullptr, 0);
    }
  }
};

TEST(BridgePeerUser, TellsTheUserOfTheConnectingProcess) {
  const bool root = geteuid() == 0;
  const passwd* nobody = getpwnam("nobody");
  struct Case {
    const char* name;
    int listen_family;
    bool dual_stack;
    int connect_family;
    bool other_user;
    PeerUser expected;
  };
  const Case cases[] = {
      {"IPv4", AF_INET, false, AF_INET, false, PeerUser::kSame},
      {"IPv6", AF_INET6, false, AF_INET6, false, PeerUser::kSame},
      // The peer is seen as ::ffff:127.0.0.1.
      {"IPv4 to a dual-stack socket", AF_INET6, true, AF_INET, false, PeerUser::kSame},
      {"IPv4, another user", AF_INET, false, AF_INET, true, PeerUser::kOther},
      {"IPv6, another user", AF_INET6, false, AF_INET6, true, PeerUser::kOther},
      {"IPv4 to a dual-stack socket, another user", AF_INET6, true, AF_INET, true,
       PeerUser::kOther},
  };
  bool skipped = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.other_user && (!root || !nobody)) {
      skipped = true;
      continue;
    }
    Listener listener(c.listen_family, c.dual_stack);
    const uint16_t port = EndpointOf(listener.address).port;
    ASSERT_NE(port, 0);
    Client client(c.connect_family, port, c.other_user ? nobody : nullptr);
    sockaddr_storage peer{}, local{};
    socklen_t peer_size = sizeof peer, local_size = sizeof local;
    const int accepted = accept(listener.fd, reinterpret_cast<sockaddr*>(&peer), &peer_size);
    ASSERT_GE(accepted, 0);
    getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &local_size);
    const TcpEndpoint peer_end = EndpointOf(peer), local_end = EndpointOf(local);
    if (c.dual_stack) {
      EXPECT_EQ(peer_end.address, "::ffff:127.0.0.1");
    }
    EXPECT_EQ(PeerUserOf(peer_end, local_end), c.expected);
    // The accepted socket is ours: asked the wrong way round, the answer would be ours too.
    EXPECT_EQ(PeerUserOf(local_end, peer_end), PeerUser::kSame);
    close(accepted);
  }

  // Endpoints nobody holds, and text that is no address.
  const std::pair<TcpEndpoint, TcpEndpoint> unknown[] = {
      {{"127.0.0.1", 1}, {"127.0.0.1", 2}},
      {{"::1", 1}, {"::1", 2}},
      {{"localhost", 1}, {"127.0.0.1", 2}},
      {{"::1", 1}, {"127.0.0.1", 2}},
  };
  for (const auto& [peer, local] : unknown) {
    SCOPED_TRACE(peer.address);
    EXPECT_EQ(PeerUserOf(peer, local), PeerUser::kUnknown);
  }
  if (skipped) GTEST_SKIP() << "another user's connections need root and the user nobody";
}

using Origins = std::vector<std::string>;

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  lstat(path.c_str(), &info);
  return info.st_mode & 07777;
}

TEST(BridgeOriginStore, ReadsTheUsersAndTheMachinesLists) {
  struct Case {
    const char* name;
    std::string user_allowed, user_refused, machine_allowed, machine_refused;
    Origins allowed, refused;
  };
  const Case cases[] = {
      {"no files", "", "", "", "", {}, {}},
      {"comments, blanks, spaces and CRLF",
       "# the editor's sites\n\n  https://a.example  \r\n\t# https://off.example\n"
       "http://b.example:8080",
       "",
       "",
       "",
       Origins{"https://a.example", "http://b.example:8080"},
       {}},
      {"the user's first, each origin once", "https://a.example\nhttps://a.example\n",
       "https://x.example\n", "https://m.example\nhttps://a.example\n", "https://y.example\n",
       Origins{"https://a.example", "https://m.example"},
       Origins{"https://x.example", "https://y.example"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    ScopedEnv config("XDG_CONFIG_HOME", (home.Path() / "config").c_str());
    ScopedEnv machine("VELMARIS_MACHINE_CONFIG", (home.Path() / "etc").c_str());
    const std::pair<const char*, const std::string*> files[] = {
        {"config/velmaris/allowed-origins", &c.user_allowed},
        {"config/velmaris/refused-origins", &c.user_refused},
        {"etc/allowed-origins", &c.machine_allowed},
        {"etc/refused-origins", &c.machine_refused},
    };
    for (const auto& [file, bytes] : files) {
      if (!bytes->empty()) home.Write(file, *bytes);
    }
    const OriginLists lists = ReadOriginLists();
    EXPECT_EQ(lists.allowed, c.allowed);
    EXPECT_EQ(lists.refused, c.refused);
  }
}

TEST(BridgeOriginStore, RemembersOnceInThePrivateFolder) {
  struct Case {
    const char* name;
    std::string config;  // XDG_CONFIG_HOME, "~/" standing for the home folder
    std::string folder;  // where the lists go, below the home folder
    std::string before;  // the list as it was, when there was one
    std::string after;
  };
  const Case cases[] = {
      {"nothing there yet", "~/new/config", "new/config/velmaris", "", "https://a.example\n"},
      {"a list without its last line break", "~/config", "config/velmaris", "https://x.example",
       "https://x.example\nhttps://a.example\n"},
      {"already on the list", "~/config", "config/velmaris", "# mine\n  https://a.example \n",
       "# mine\n  https://a.example \n"},
      {"XDG_CONFIG_HOME empty", "", ".config/velmaris", "", "https://a.example\n"},
      {"XDG_CONFIG_HOME relative", "config", ".config/velmaris", "", "https://a.example\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    const std::string config =
        c.config.starts_with("~/") ? (home.Path() / c.config.substr(2)).string() : c.config;
    ScopedEnv home_env("HOME", home.Path().c_str());
    ScopedEnv config_env("XDG_CONFIG_HOME", config.c_str());
    ScopedEnv machine("VELMARIS_MACHINE_CONFIG", (home.Path() / "etc").c_str());
    if (!c.before.empty()) home.Write(c.folder + "/refused-origins", c.before);
    for (int time = 0; time < 2; ++time) {
      std::string error;
      EXPECT_TRUE(RememberOrigin("https://a.example", false, error)) << error;
    }
    const auto folder = home.Path() / c.folder;
    EXPECT_EQ(ReadFile(folder / "refused-origins"), c.after);
    EXPECT_FALSE(std::filesystem::exists(folder / "allowed-origins"));
    EXPECT_EQ(ReadOriginLists().refused.back(), "https://a.example");
    if (c.before.empty()) {
      EXPECT_EQ(ModeOf(folder), 0700u);
      EXPECT_EQ(ModeOf(folder / "refused-origins"), 0600u);
    }
  }
}

TEST(BridgeOriginStore, SaysWhyItCannotRemember) {
  TempDir home;
  home.Write("file", "");
  home.Write("elsewhere", "kept\n");
  std::filesystem::create_directories(home.Path() / "linked/velmaris");
  std::filesystem::create_symlink(home.Path() / "elsewhere",
                                  home.Path() / "linked/velmaris/allowed-origins");
  struct Case {
    const char* name;
    std::string config;
    std::string origin;
  };
  const Case cases[] = {
      {"a file where a folder goes", (home.Path() / "file/config").string(), "https://a.example"},
      {"the list a link", (home.Path() / "linked").string(), "https://a.example"},
      {"two origins in one", (home.Path() / "config").string(), "https://a.example\nhttps://b"},
      {"nothing", (home.Path() / "config").string(), " "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv config("XDG_CONFIG_HOME", c.config.c_str());
    std::string error;
    EXPECT_FALSE(RememberOrigin(c.origin, true, error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(ReadFile(home.Path() / "elsewhere"), "kept\n");
  EXPECT_FALSE(std::filesystem::exists(home.Path() / "config"));
}

TEST(BridgeAutostart, WritesAnEntryThatRunsTheProgramWithItsArguments) {
  TempDir home;
  ScopedEnv config("XDG_CONFIG_HOME", (home.Path() / "config").c_str());
  const auto entry = home.Path() / "config/autostart/velmaris-bridge.desktop";
  EXPECT_EQ(AutostartLocation(), entry.string());

  std::string error;
  ASSERT_TRUE(InstallAutostart("/opt/velmaris client/velmaris", {"bridge"}, error)) << error;
  ASSERT_TRUE(InstallAutostart("/opt/velmaris client/velmaris",
                               {"bridge", "--allow", "say \"100%\" for $HOME `id` a\\b", ""},
                               error))
      << error;
  const std::string text = ReadFile(entry);
  // Quoting for Exec, then the key file's escapes on top: a literal `"` is \\" in the file.
  EXPECT_NE(text.find("\nExec=\"/opt/velmaris client/velmaris\" \"bridge\" \"--allow\" "
                      "\"say \\\\\"100%%\\\\\" for \\\\$HOME \\\\`id\\\\` a\\\\\\\\b\" \"\"\n"),
            std::string::npos)
      << text;
  for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n",
                           "\nX-GNOME-Autostart-enabled=true\n", "\nNoDisplay=true\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  // Replaced whole: nothing left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(entry.parent_path()), {}), 1);

  EXPECT_TRUE(UninstallAutostart(error)) << error;
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_TRUE(UninstallAutostart(error)) << error;

  home.Write("file", "");
  ScopedEnv unwritable("XDG_CONFIG_HOME", (home.Path() / "file").c_str());
  error.clear();
  EXPECT_FALSE(InstallAutostart("/bin/true", {}, error));
  EXPECT_NE(error.find(home.Path() / "file"), std::string::npos) << error;
}

}  // namespace
}  // namespace velmaris::host::bridge
