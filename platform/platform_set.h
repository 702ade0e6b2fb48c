// The implementations one thread's controls run on, made together as a set. The library's start-up
// module takes a set from here and names no implementation itself. The screen (Qt) and the office
// applications (LibreOffice) live in modules of their own beside the library, opened only when
// first needed: a machine without them runs everything else.
#pragma once

#include <functional>
#include <memory>

#include "platform/message_loop.h"
#include "platform/office_automation.h"
#include "platform/screen.h"
#include "platform/tcp_socket.h"
#include "platform/ui.h"

namespace velmaris {

struct PlatformSet {
  std::unique_ptr<MessageLoop> loop;
  std::unique_ptr<Ui> ui;
  SocketFactory new_socket;
  // The office applications, made on first use by the control that imports documents.
  std::function<std::unique_ptr<OfficeAutomation>()> office;
  // The host's answers to the dialogs, in a set without a screen; else null.
  AnsweredUi* answers = nullptr;
  // The forms' windows, in a set with a screen; else null. Last, so the windows (and the controls
  // they hold) go before the loop and the Ui.
  std::unique_ptr<FormScreen> screen;
};

// The system's loop (poll(2), or the thread's Windows message loop), sockets on it, and dialogs
// that the host answers.
PlatformSet MakeHeadlessSet();

#ifdef _WIN32
// The thread's Windows message loop, sockets on it, and the system's own dialogs.
PlatformSet MakeDesktopSet();
#endif

// The set the library starts a thread with: the headless set where the page host decides about
// the screen (POSIX), the desktop set on Windows, whose script hosts expect the system's dialogs.
PlatformSet MakeStartingSet();

enum class ScreenOutcome { kMade, kNoDisplay, kNoModule };
// Qt's event loop with the sockets on it, Qt's dialogs and a window per form, from the screen
// module, made into an empty `set`.
ScreenOutcome MakeScreenSet(PlatformSet& set);

// The modules' files, looked for in the folder of the library (or program) that holds this code.
#ifdef _WIN32
inline constexpr char kScreenModuleFile[] = "VelmarisQt.dll";
inline constexpr char kOfficeModuleFile[] = "VelmarisOffice.dll";
#else
inline constexpr char kScreenModuleFile[] = "libVelmarisQt.so";
inline constexpr char kOfficeModuleFile[] = "libVelmarisOffice.so";
#endif

}  // namespace velmaris

// The one entry point of each module.
#ifdef _WIN32
#define VELMARIS_MODULE_ENTRY extern "C" __declspec(dllexport)
#else
#define VELMARIS_MODULE_ENTRY extern "C" __attribute__((visibility("default")))
#endif
// Fills the set's loop, Ui and screen; false when Qt can open no window here (no display).
VELMARIS_MODULE_ENTRY bool VelmarisScreenModule(velmaris::PlatformSet* set);
// A new way to the office applications, owned by the caller.
VELMARIS_MODULE_ENTRY velmaris::OfficeAutomation* VelmarisOfficeModule();
