#include "host/bridge/bridge.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "host/bridge/client_scripts.h"
#include "host/bridge/network.h"
#include "host/bridge/pictures.h"
#include "host/bridge/site_lock.h"
#include "host/bridge/system/autostart.h"
#include "host/bridge/system/origin_store.h"
#include "host/bridge/system/peer_user.h"
#include "host/com_api.h"
#include "host/text.h"

namespace velmaris::host::bridge {

namespace {

std::atomic<bool> g_stop{false};

void OnStopSignal(int) {
  g_stop = true;
}

void Say(FILE* out, const std::string& line) {
  std::fputs((line + "\n").c_str(), out);
  std::fflush(out);
}

// Work handed to the controls' thread through the library's loop.
class ControlsThread {
 public:
  ControlsThread(const ComApi& api, VelmarisLoop loop) : m_api(api), m_loop(loop) {}

  void Post(std::function<void()> work) const {
    auto* task = new std::function<void()>(std::move(work));
    if (m_api.post(m_loop, &Run, task) < 0) delete task;
  }

 private:
  static void Run(void* context) {
    std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(context));
    try {
      (*task)();
    } catch (const std::exception& error) {
      Say(stderr, std::string("velmaris bridge: ") + error.what());
    }
  }

  const ComApi& m_api;
  VelmarisLoop m_loop;
};

// The page that answers the boxes in a test run: nothing of it reaches the page's files.
class TestPage final : public HostPage {
 public:
  explicit TestPage(const ComApi& api) : m_api(api) {}
  const ComApi* Services(std::u16string&) override { return &m_api; }
  void WriteLine(bool error_stream, std::u16string_view text) override {
    Say(error_stream ? stderr : stdout, EncodeUtf8(text));
  }

 private:
  const ComApi& m_api;
};

// The bridge's answers to the network: the door's checks on the network thread, the site lock
// and every call on the controls' thread.
class Bridge final : public Visitors {
 public:
  Bridge(const ControlsThread& controls, SiteLock& lock, PictureAddresses& pictures,
         bool serve_unknown_peers)
      : m_controls(controls),
        m_lock(lock),
        m_pictures(pictures),
        m_serve_unknown_peers(serve_unknown_peers) {}

  void Attach(Network& network, Calls& calls) {
    m_network = &network;
    m_calls = &calls;
  }

  void Admit(ConnectionId connection, const Upgrade& upgrade,
             std::function<void(unsigned)> decide) override {
    auto refuse = [&](unsigned status, const std::string& why) {
      Say(stderr, "velmaris bridge: 拒绝来自 " +
                      (upgrade.has_origin ? upgrade.origin : std::string("（没有 Origin）")) +
                      " 的连接：" + why);
      decide(status);
    };
    if (!IsLoopbackHost(upgrade.host, m_network->Port())) {
      return refuse(403, "Host 头不是本机回环地址（" + upgrade.host + "）");
    }
    auto origin = upgrade.has_origin ? NormalizeOrigin(upgrade.origin) : std::nullopt;
    if (!origin) return refuse(403, "没有可用的 Origin");
    const PeerUser user = PeerUserOf(TcpEndpoint{upgrade.peer_address, upgrade.peer_port},
                                     TcpEndpoint{upgrade.local_address, upgrade.local_port});
    if (user == PeerUser::kOther) return refuse(403, "连接来自另一个用户的程序");
    if (user == PeerUser::kUnknown && !m_serve_unknown_peers) {
      return refuse(403, "无法确定连接来自哪个用户的程序");
    }
    {
      std::lock_guard<std::mutex> hold(m_mutex);
      if (m_per_origin[*origin] >= kConnectionsPerOrigin) {
        return refuse(429, "这个网站打开的连接太多");
      }
      // Counted from now, so that connections waiting for the editor count too.
      ++m_per_origin[*origin];
      m_origin_of[connection] = *origin;
    }
    m_controls.Post([this, connection, origin = *origin, decide = std::move(decide)] {
      m_lock.Decide(origin, [this, connection, decide](bool allowed) {
        if (!allowed) {
          Forget(connection);
          Say(stderr, "velmaris bridge: 这个网站不在允许的列表中");
        }
        decide(allowed ? 0 : 403);
      });
    });
  }

  HttpAnswer Serve(std::string_view host, std::string_view origin,
                   std::string_view target) override {
    if (!IsLoopbackHost(host, m_network->Port())) return HttpAnswer{403, "", ""};
    const std::string_view path = target.substr(0, target.find('?'));
    if (auto picture = m_pictures.Take(path)) {
      // Only the page the picture was shown to may have it.
      auto normal = NormalizeOrigin(origin);
      {
        std::lock_guard<std::mutex> hold(m_mutex);
        auto owner = m_origin_of.find(picture->connection);
        if (!normal || owner == m_origin_of.end() || owner->second != *normal) {
          return HttpAnswer{403, "text/plain; charset=utf-8", "refused\n"};
        }
      }
      auto file = ReadPicture(picture->path);
      if (!file) return HttpAnswer{404, "text/plain; charset=utf-8", "not found\n"};
      return HttpAnswer{200, std::move(file->content_type), std::move(file->bytes)};
    }
    if (path == "/velmaris.js") return {200, "text/javascript; charset=utf-8", ClientScript()};
    if (path == "/velmaris.mjs") return {200, "text/javascript; charset=utf-8", ClientModule()};
    return HttpAnswer{404, "text/plain; charset=utf-8", "not found\n"};
  }

  void Message(ConnectionId connection, std::string text) override {
    m_controls.Post([this, connection, text = std::move(text)] {
      std::string reply = m_calls->Answer(connection, text);
      m_network->Send(connection, std::move(reply));
    });
  }

  void Closed(ConnectionId connection) override {
    Forget(connection);
    m_pictures.Forget(connection);
    m_controls.Post([this, connection] { m_calls->Drop(connection); });
  }

 private:
  void Forget(ConnectionId connection) {
    std::lock_guard<std::mutex> hold(m_mutex);
    auto found = m_origin_of.find(connection);
    if (found == m_origin_of.end()) return;
    if (--m_per_origin[found->second] == 0) m_per_origin.erase(found->second);
    m_origin_of.erase(found);
  }

  const ControlsThread& m_controls;
  SiteLock& m_lock;
  PictureAddresses& m_pictures;
  Calls* m_calls = nullptr;
  Network* m_network = nullptr;
  const bool m_serve_unknown_peers;
  std::mutex m_mutex;
  std::map<std::string, size_t> m_per_origin;
  std::map<ConnectionId, std::string> m_origin_of;
};

// Whether the thread's boxes reach a person: without the screen module they may still be the
// system's own (Windows). Only boxes the host answers keep a record of what they showed.
bool BoxesAreReal(const ComApi& api) {
  if (api.messages == nullptr) return false;
  Bstr shown(api);
  return api.messages(shown.Out()) == com::E_UNEXPECTED;
}

int InstallOrRemove(const BridgeOptions& options, const BridgeSystem& system) {
  std::string error;
  if (options.action == BridgeOptions::Action::kUninstall) {
    if (!UninstallAutostart(error)) {
      Say(stderr, "velmaris bridge: 无法删除登录时启动的设置：" + error);
      return 1;
    }
    Say(stdout, "已删除登录时启动的设置：" + AutostartLocation());
    return 0;
  }
  std::vector<std::string> arguments{"bridge"};
  if (options.port != kDefaultPort) {
    arguments.push_back("--port");
    arguments.push_back(std::to_string(options.port));
  }
  for (const auto& origin : options.allow) {
    arguments.push_back("--allow");
    arguments.push_back(origin);
  }
  if (!InstallAutostart(system.program, arguments, error)) {
    Say(stderr, "velmaris bridge: 无法设置登录时启动：" + error);
    return 1;
  }
  Say(stdout, "登录时将启动桥接程序：" + AutostartLocation());
  return 0;
}

}  // namespace

std::optional<BridgeOptions> ParseBridgeOptions(const std::vector<std::string>& args,
                                                std::string& error) {
  BridgeOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--port" && has_value) {
      const std::string& text = args[++i];
      unsigned port = 0;
      auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), port);
      if (failed != std::errc() || end != text.data() + text.size() || port > 65535) {
        error = "端口号无效：" + text;
        return std::nullopt;
      }
      options.port = static_cast<uint16_t>(port);
    } else if (arg == "--allow" && has_value) {
      const std::string& origin = args[++i];
      if (!NormalizeOrigin(origin)) {
        error = "不是有效的网站来源（如 https://cms.example.com）：" + origin;
        return std::nullopt;
      }
      options.allow.push_back(origin);
    } else if (arg == "--answer-dialogs") {
      options.answer_dialogs = true;
    } else if (arg == "--install") {
      options.action = BridgeOptions::Action::kInstall;
    } else if (arg == "--uninstall") {
      options.action = BridgeOptions::Action::kUninstall;
    } else {
      error = "无法识别的参数：" + arg;
      return std::nullopt;
    }
  }
  return options;
}

int RunBridge(const BridgeOptions& options, BridgeSystem& system) {
  if (options.action != BridgeOptions::Action::kServe) return InstallOrRemove(options, system);
  const ComApi* api = system.services;
  if (api == nullptr || api->current_loop == nullptr || api->post == nullptr ||
      api->pump == nullptr || api->message_box == nullptr) {
    Say(stderr, "velmaris bridge: 控件库缺少桥接程序所需的服务");
    return 1;
  }

  // The editor's boxes (and the controls' dialogs) on the desktop; without one nobody is asked.
  bool can_ask = false;
  if (options.answer_dialogs) {
    // Nobody is at the screen: a box nobody answered takes its first button, which must not let
    // a site in. Unknown origins are refused, as without a display.
    if (api->use_answered_dialogs == nullptr || api->use_answered_dialogs() < 0) {
      Say(stderr, "velmaris bridge: 无法由页面应答对话框");
      return 1;
    }
  } else {
    const bool on_screen = api->use_screen != nullptr && api->use_screen() >= 0;
    can_ask = on_screen || BoxesAreReal(*api);
    if (!can_ask) {
      Say(stderr,
          "velmaris bridge: 没有可用的显示，不在允许列表中的网站将被拒绝，控件的对话框不会出现");
    }
  }
  VelmarisLoop loop = nullptr;
  if (api->current_loop(&loop) < 0 || loop == nullptr) {
    Say(stderr, "velmaris bridge: 无法取得控件的消息循环");
    return 1;
  }
  const ControlsThread controls(*api, loop);

  SiteLock::Ask ask;
  if (can_ask) {
    ask = [api](const std::u16string& text, int style) {
      int32_t answer = 0;
      if (api->message_box(text.c_str(), u"上传和导入控件", style, &answer) < 0) return 0;
      return static_cast<int>(answer);
    };
  }
  SiteLock lock(
      options.allow,
      [] {
        OriginLists lists = ReadOriginLists();
        return SiteLock::Lists{std::move(lists.allowed), std::move(lists.refused)};
      },
      RememberOrigin, ask);
  PictureAddresses pictures;
  Bridge bridge(controls, lock, pictures, system.serve_unknown_peers);
  std::string error;
  auto network = Network::Listen(options.port, bridge, error);
  if (!network) {
    Say(stderr, "velmaris bridge: 无法监听 " + error);
    return 1;
  }
  TestPage tester(*api);
  Calls calls(
      system.make, options.answer_dialogs ? &tester : nullptr,
      [&network](ConnectionId connection, std::string message) {
        network->Send(connection, std::move(message));
      },
      &pictures);
  bridge.Attach(*network, calls);
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  Say(stdout, "listening on 127.0.0.1:" + std::to_string(network->Port()));
  network->Start();
  // The controls' thread lives in the library's loop; a stop request is seen within a slice.
  while (!g_stop) api->pump(200);
  network->Stop();
  // Whatever arrived meanwhile was for connections that are gone.
  api->pump(0);
  return 0;
}

}  // namespace velmaris::host::bridge
