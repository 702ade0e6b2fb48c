// One connection to a running office: the UNO bridge over our pipe, the office's component
// context and desktop, the process when we started it, and what the programs remember for the
// life of the instance.
#pragma once

#include <sys/types.h>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "platform/libreoffice/export_layout.h"
#include "platform/libreoffice/libreoffice_automation.h"
#include "platform/libreoffice/uno_support.h"

namespace velmaris::libreoffice {

class OfficeSession {
 public:
  // Connects to the office listening on the options' pipe; nothing when none answers or the pipe
  // is not this user's.
  static std::unique_ptr<OfficeSession> Connect(const LibreOfficeOptions& options);
  // Starts an office on the options' pipe and connects to it; nothing (the office ended) when
  // something not ours took the pipe's name meanwhile. Raises kErrCannotCreateObject with the
  // reason when it does not start or does not answer in time.
  static std::unique_ptr<OfficeSession> Launch(const LibreOfficeOptions& options,
                                               std::u16string_view program_id);

  // Ends the office when we started it and it still runs.
  ~OfficeSession();
  OfficeSession(const OfficeSession&) = delete;
  OfficeSession& operator=(const OfficeSession&) = delete;

  // False once the bridge has gone (the office ended or the connection broke).
  bool Alive() const { return !m_gone->load(); }
  const Reference<css::uno::XComponentContext>& Context() const { return m_context; }
  Reference<css::frame::XDesktop2> Desktop() const;

  // Asks the office to end, closing every document without saving, and waits until it has.
  // False when the office refused.
  bool Terminate();

  // Settings of the programs, kept as long as the instance runs.
  bool presentations_visible = false;
  // Word's document windows, the active one last.
  std::vector<Reference<css::frame::XModel>> word_windows;
  // What Word's last copy took: the document it came from, the labels of the numbered headings
  // in it as the reader saw them there, and once it is pasted elsewhere, a copy of the source
  // to take its styles from.
  struct WordClipboard {
    Reference<css::frame::XModel> source;
    std::vector<OUString> heading_labels;
    std::shared_ptr<StagingFolder> styles;
  } word_clipboard;

 private:
  OfficeSession(Reference<css::bridge::XBridge> bridge,
                Reference<css::uno::XComponentContext> context,
                std::shared_ptr<std::atomic<bool>> gone);
  // Waits for the process we started to end, killing it when it does not in time.
  void Reap();

  Reference<css::bridge::XBridge> m_bridge;
  Reference<css::uno::XComponentContext> m_context;
  std::shared_ptr<std::atomic<bool>> m_gone;
  pid_t m_pid = -1;  // the office process when we started it
};

// The one place where UNO failures become VbError: a disposed object on a dead bridge means the
// office has gone (kErrServerUnavailable); anything else is the application failing the call
// (kErrAutomation), described by `action` and the office's own message.
// `disposed` tells that the failing object had been disposed (UNO exceptions carry no run-time
// type of their own).
[[noreturn]] void RaiseFromUno(const OfficeSession& session, std::u16string_view source,
                               std::u16string_view action, const css::uno::Exception& error,
                               bool disposed);

// Runs one operation of an application object under that rule.
template <typename F>
auto Guarded(const OfficeSession& session, std::u16string_view source, std::u16string_view action,
             F&& body) -> decltype(body()) {
  if (!session.Alive()) {
    Raise(office::kErrServerUnavailable, std::u16string(source),
          u"Office 程序已经退出，无法" + std::u16string(action));
  }
  try {
    return body();
  } catch (const css::lang::DisposedException& error) {
    RaiseFromUno(session, source, action, error, true);
  } catch (const css::uno::Exception& error) {
    RaiseFromUno(session, source, action, error, false);
  }
}

}  // namespace velmaris::libreoffice
