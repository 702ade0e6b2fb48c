#include "platform/libreoffice/office_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridgeFactory2.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/connection/XConnector.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <rtl/bootstrap.hxx>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/codepage.h"
#include "platform/libreoffice/export_layout.h"
#include "platform/libreoffice/office_pipe.h"

extern char** environ;

namespace velmaris::libreoffice {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The UNO runtime of our own process, which the bridge to the office needs. Made once; never torn
// down, since bridges may still be winding down while the process exits.
Reference<css::uno::XComponentContext> LocalContext(const std::filesystem::path& program_dir) {
  static std::once_flag once;
  static Reference<css::uno::XComponentContext>* context = nullptr;
  static std::string failure;
  std::call_once(once, [&] {
    try {
      rtl::Bootstrap::set("URE_BOOTSTRAP", ToOUString("vnd.sun.star.pathname:" +
                                                      (program_dir / "fundamentalrc").string()));
      context = new Reference<css::uno::XComponentContext>(
          cppu::defaultBootstrap_InitialComponentContext());
    } catch (const css::uno::Exception& error) {
      failure = rtl::OUStringToOString(error.Message, RTL_TEXTENCODING_UTF8).getStr();
    }
  });
  if (!context) {
    Raise(office::kErrCannotCreateObject, kLibrarySource,
          u"无法初始化 UNO 运行环境：" + codepage::FromUtf8(failure));
  }
  return *context;
}

// Notes when the bridge goes, whoever ends it.
class GoneListener : public cppu::WeakImplHelper1<css::lang::XEventListener> {
 public:
  explicit GoneListener(std::shared_ptr<std::atomic<bool>> gone) : m_gone(std::move(gone)) {}
  void SAL_CALL disposing(const css::lang::EventObject&) override { m_gone->store(true); }

 private:
  std::shared_ptr<std::atomic<bool>> m_gone;
};

bool Exited(pid_t pid, int* status) {
  return waitpid(pid, status, WNOHANG) == pid;
}

pid_t SpawnOffice(const LibreOfficeOptions& options) {
  const std::string program = (options.program_dir / "soffice").string();
  const std::string log = (options.profile_dir / "velmaris-office.log").string();
  std::vector<std::string> args = {
      program,
      "-env:UserInstallation=" + FileUrl(options.profile_dir),
      "--headless",
      "--invisible",
      "--norestore",
      "--nologo",
      "--nodefault",
      "--nolockcheck",
      "--accept=pipe,name=" + options.pipe_name + ";urp;StarOffice.ComponentContext",
  };
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The office gets no terminal, its output goes to a log in its profile, it inherits none of our
  // descriptors, and it runs in a process group of its own so that it can be ended as a whole.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  // Everything the office writes (converted documents, their pictures) is the user's alone: it
  // starts with a umask that keeps others out. Ours is set back at once.
  const mode_t umask_before = umask(077);
  const int result =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  umask(umask_before);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    Raise(office::kErrCannotCreateObject, kLibrarySource,
          u"无法启动 LibreOffice：" + codepage::FromUtf8(program) + u"（" +
              codepage::FromUtf8(std::strerror(result)) + u"）");
  }
  return pid;
}

// Our office works on the users' files on their behalf and may be ended with documents open:
// it writes no lock files beside them, and so never finds a stale one that would make it refuse
// a document.
void DisableLockFiles(const Reference<css::uno::XComponentContext>& context) {
  try {
    css::uno::Any path(
        Property("nodepath", css::uno::Any(OUString("/org.openoffice.Office.Common/Misc"))));
    Reference<css::container::XNameReplace> misc(
        css::configuration::theDefaultProvider::get(context)->createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationUpdateAccess",
            css::uno::Sequence<css::uno::Any>(&path, 1)),
        css::uno::UNO_QUERY_THROW);
    misc->replaceByName("UseLocking", css::uno::Any(false));
    Reference<css::util::XChangesBatch>(misc, css::uno::UNO_QUERY_THROW)->commitChanges();
  } catch (const css::uno::RuntimeException&) {
    throw;  // the bridge went
  } catch (const css::uno::Exception&) {
    // An office without the setting locks as it always did.
  }
}

std::u16string ShortMessage(const OUString& message) {
  // The office appends where in its sources the error arose; the user needs only the text.
  std::u16string text = FromOUString(message);
  if (const size_t at = text.find(u" at ./"); at != std::u16string::npos) text.resize(at);
  return text;
}

}  // namespace

OfficeSession::OfficeSession(Reference<css::bridge::XBridge> bridge,
                             Reference<css::uno::XComponentContext> context,
                             std::shared_ptr<std::atomic<bool>> gone)
    : m_bridge(std::move(bridge)), m_context(std::move(context)), m_gone(std::move(gone)) {}

std::unique_ptr<OfficeSession> OfficeSession::Connect(const LibreOfficeOptions& options) {
  // Nothing is sent to a pipe that is not ours: a listener of another user would get our bridge.
  if (CheckPipe(PipeSocketPath(options.pipe_name)) != PipeState::kOurs) return nullptr;
  const Reference<css::uno::XComponentContext> local = LocalContext(options.program_dir);
  try {
    Reference<css::connection::XConnection> connection =
        css::connection::Connector::create(local)->connect(
            ToOUString("pipe,name=" + options.pipe_name));
    Reference<css::bridge::XBridge> bridge =
        css::bridge::BridgeFactory::create(local)->createBridge(OUString(), "urp", connection,
                                                                nullptr);
    auto gone = std::make_shared<std::atomic<bool>>(false);
    Reference<css::lang::XComponent>(bridge, css::uno::UNO_QUERY_THROW)
        ->addEventListener(new GoneListener(gone));
    Reference<css::uno::XComponentContext> context(
        bridge->getInstance("StarOffice.ComponentContext"), css::uno::UNO_QUERY);
    if (!context.is()) {
      Reference<css::lang::XComponent>(bridge, css::uno::UNO_QUERY_THROW)->dispose();
      return nullptr;
    }
    DisableLockFiles(context);
    return std::unique_ptr<OfficeSession>(new OfficeSession(bridge, context, gone));
  } catch (const css::uno::Exception&) {
    return nullptr;  // nobody listens on the pipe, or the office is still starting
  }
}

std::unique_ptr<OfficeSession> OfficeSession::Launch(const LibreOfficeOptions& options,
                                                     std::u16string_view program_id) {
  const std::u16string source(program_id);
  std::error_code error;
  std::filesystem::create_directories(options.profile_dir, error);
  if (error) {
    Raise(
        office::kErrCannotCreateObject, source,
        u"无法创建 LibreOffice 的配置文件夹：" + codepage::FromUtf8(options.profile_dir.string()));
  }

  // An office already running on the profile is handed our command line, our pipe's name among
  // it, through the profile's own pipe: that must not go to someone else either.
  if (CheckPipe(PipeSocketPath(ProfilePipeName(options.profile_dir))) == PipeState::kForeign) {
    Raise(office::kErrCannotCreateObject, source,
          u"无法启动 LibreOffice：配置文件夹 " + codepage::FromUtf8(options.profile_dir.string()) +
              u" 的管道被其他用户占用");
  }

  pid_t pid = SpawnOffice(options);
  const auto deadline = Clock::now() + options.start_timeout;
  for (;;) {
    if (auto session = Connect(options)) {
      session->m_pid = pid;
      return session;
    }
    int status = 0;
    if (CheckPipe(PipeSocketPath(options.pipe_name)) == PipeState::kForeign) {
      // Taken while the office started: it is not waited for.
      if (pid > 0) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
      }
      return nullptr;
    }
    if (pid > 0 && Exited(pid, &status)) {
      // Exiting at once with success means an office already running on this profile took the
      // request over; it will listen on our pipe.
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Raise(office::kErrCannotCreateObject, source,
              u"LibreOffice 启动失败（退出状态 " +
                  codepage::FromUtf8(std::to_string(WIFEXITED(status) ? WEXITSTATUS(status)
                                                                      : 128 + WTERMSIG(status))) +
                  u"），详见 " +
                  codepage::FromUtf8((options.profile_dir / "velmaris-office.log").string()));
      }
      pid = -1;
    }
    if (Clock::now() >= deadline) {
      if (pid > 0) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
      }
      Raise(office::kErrCannotCreateObject, source,
            u"LibreOffice 在 " +
                codepage::FromUtf8(std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(options.start_timeout)
                        .count())) +
                u" 秒内没有应答");
    }
    std::this_thread::sleep_for(100ms);
  }
}

OfficeSession::~OfficeSession() {
  try {
    if (m_pid > 0 && Alive()) {
      Terminate();
    } else if (Alive()) {
      Reference<css::lang::XComponent>(m_bridge, css::uno::UNO_QUERY_THROW)->dispose();
    }
  } catch (...) {
    // The office is ended below in any case.
  }
  Reap();
}

Reference<css::frame::XDesktop2> OfficeSession::Desktop() const {
  return css::frame::Desktop::create(m_context);
}

bool OfficeSession::Terminate() {
  bool ended = true;
  if (Alive()) {
    try {
      ended = Desktop()->terminate();
    } catch (const css::uno::RuntimeException&) {
      // The bridge went while the office shut down.
    }
  }
  if (!ended) return false;
  // The bridge goes when the office closes its end of the pipe; after that nothing answers on it.
  const auto deadline = Clock::now() + 30s;
  while (Alive() && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
  try {
    if (Alive()) Reference<css::lang::XComponent>(m_bridge, css::uno::UNO_QUERY_THROW)->dispose();
  } catch (const css::uno::Exception&) {
  }
  m_gone->store(true);
  Reap();
  return true;
}

void OfficeSession::Reap() {
  if (m_pid <= 0) return;
  int status = 0;
  const auto deadline = Clock::now() + 30s;
  while (!Exited(m_pid, &status)) {
    if (Clock::now() >= deadline) {
      kill(-m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(20ms);
  }
  m_pid = -1;
}

void RaiseFromUno(const OfficeSession& session, std::u16string_view source,
                  std::u16string_view action, const css::uno::Exception& error, bool disposed) {
  const bool bridge_gone = !session.Alive() || (disposed && error.Message.indexOf("bridge") >= 0);
  if (bridge_gone) {
    Raise(office::kErrServerUnavailable, std::u16string(source),
          u"Office 程序已经退出，无法" + std::u16string(action));
  }
  std::u16string description = u"无法" + std::u16string(action);
  if (disposed) {
    description += u"：对象已经关闭";
  } else if (const std::u16string message = ShortMessage(error.Message); !message.empty()) {
    description += u"：" + message;
  }
  Raise(office::kErrAutomation, std::u16string(source), std::move(description));
}

}  // namespace velmaris::libreoffice
