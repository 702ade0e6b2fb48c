// What the library exports for its host beside the four standard entry points: the string and
// variant functions both sides must share (a BSTR is freed by whoever allocated it), and the
// services a page host needs to drive the controls without a screen. All are plain C symbols
// looked up with dlsym; strings are UTF-16 BSTRs, structured answers are JSON text.
#pragma once

#include "server/com.h"

namespace velmaris::com {
// VelmarisUseScreen's answer when the screen module, or the Qt it needs, cannot be loaded
// (HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)).
inline constexpr HRESULT E_NO_SCREEN_MODULE = static_cast<HRESULT>(0x8007007Eu);
}  // namespace velmaris::com

extern "C" {

// The standard entry points (declared here for hosts; defined by the library).
velmaris::com::HRESULT VELMARIS_STDCALL DllGetClassObject(const velmaris::com::CLSID& clsid,
                                                          const velmaris::com::IID& iid,
                                                          void** object);
velmaris::com::HRESULT VELMARIS_STDCALL DllCanUnloadNow();
velmaris::com::HRESULT VELMARIS_STDCALL DllRegisterServer();
velmaris::com::HRESULT VELMARIS_STDCALL DllUnregisterServer();

// Strings and variants: on Windows the system's own (oleaut32), in its calling convention.
velmaris::com::BSTR VELMARIS_STDCALL SysAllocString(const velmaris::com::OLECHAR* text);
velmaris::com::BSTR VELMARIS_STDCALL SysAllocStringLen(const velmaris::com::OLECHAR* text,
                                                       uint32_t length);
void VELMARIS_STDCALL SysFreeString(velmaris::com::BSTR text);
uint32_t VELMARIS_STDCALL SysStringLen(velmaris::com::BSTR text);
void VELMARIS_STDCALL VariantInit(velmaris::com::VARIANT* variant);
velmaris::com::HRESULT VELMARIS_STDCALL VariantClear(velmaris::com::VARIANT* variant);
velmaris::com::HRESULT VELMARIS_STDCALL VariantCopy(velmaris::com::VARIANT* destination,
                                                    const velmaris::com::VARIANT* source);

// Host services. Each returns S_OK or a failure HRESULT.
// Runs the library's message loop on this thread for `milliseconds`.
velmaris::com::HRESULT VelmarisPump(int32_t milliseconds);
// Runs `proc(context)` once on this thread's loop after `milliseconds`, inside whatever wait or
// pump runs then: a host can act while a control's handler is waiting (a cancel click during a
// batch, say). The host keeps `context` alive until the call.
typedef void (*VelmarisLaterProc)(void* context);
velmaris::com::HRESULT VelmarisLater(int32_t milliseconds, VelmarisLaterProc proc, void* context);
// A handle on the calling thread's message loop, for posting to it from other threads. The loop
// lives as long as its thread; E_UNEXPECTED once the thread's forms go on screen would change it
// (ask after VelmarisUseScreen or VelmarisUseAnsweredDialogs).
typedef struct VelmarisLoopTag* VelmarisLoop;
velmaris::com::HRESULT VelmarisCurrentLoop(VelmarisLoop* loop);
// Runs `proc(context)` once on `loop`'s thread, inside its next pump or wait, in the order posted.
// Safe to call from any thread while that thread lives.
velmaris::com::HRESULT VelmarisPost(VelmarisLoop loop, VelmarisLaterProc proc, void* context);
// Shows a message box on the calling thread as a control shows one (on screen, the system's own, or
// answered through VelmarisAnswerMessageBox) and gives the button chosen (classic numbers).
velmaris::com::HRESULT VelmarisMessageBox(const velmaris::com::OLECHAR* text,
                                          const velmaris::com::OLECHAR* caption, int32_t style,
                                          int32_t* answer);
// The page that held `control` is gone: whatever the control runs ends at its next step (its
// connection closed unfinished, no box shown, its working files removed as the run unwinds). The
// host releases the control after.
velmaris::com::HRESULT VelmarisAbandon(velmaris::com::IUnknown* control);
// Has the host answer the calling thread's message boxes and file dialogs through the Answer*
// services, before its first control is made. A thread starts so on Linux; on Windows it starts
// with the system's own dialogs, which a script host expects. S_OK (also when already so);
// E_UNEXPECTED once a control was made on this thread, or while its forms are on screen.
velmaris::com::HRESULT VelmarisUseAnsweredDialogs();
// Queues the answer to the next message box: 1 OK, 2 Cancel, 6 Yes, 7 No (classic numbers).
velmaris::com::HRESULT VelmarisAnswerMessageBox(int32_t answer);
// Queues the answer to the next open-file dialog; null cancels it. One path, or a folder and
// names separated by "\0" (pass the length explicitly).
velmaris::com::HRESULT VelmarisAnswerFileDialog(const velmaris::com::OLECHAR* text,
                                                uint32_t length);
// Queues the answer to the next folder picker; null cancels it.
velmaris::com::HRESULT VelmarisAnswerFolder(const velmaris::com::OLECHAR* path);
// Everything shown so far, as a JSON array of
// {"kind":"msgbox"|"filedialog"|"folder","text":..,"caption":..,"buttons":n,"icon":n,"answer":n}.
velmaris::com::HRESULT VelmarisMessages(velmaris::com::BSTR* json);
// The state of child control `name` of a control's form, as a JSON object:
// {"name","kind","caption","text","enabled","visible","value","checked","items":[..],
//  "selected":[indexes],"listIndex","multiSelect","left","top","width","height","toolTip"}.
// It also carries "container" (the frame it sits in, "" for the form) and "picture".
velmaris::com::HRESULT VelmarisFormGet(velmaris::com::IUnknown* control,
                                       const velmaris::com::OLECHAR* name,
                                       velmaris::com::BSTR* json);
// The names of every child control of a control's form, as a JSON array.
velmaris::com::HRESULT VelmarisFormChildren(velmaris::com::IUnknown* control,
                                            velmaris::com::BSTR* json);
// Watching a control's form, for a host that draws it itself: `form` gets the whole form now as
// {"caption","width","height","children":[..]} (each child as VelmarisFormGet gives it), and `proc`
// gets, once per pass of the thread's loop, a JSON array of the children that changed in that
// pass, until VelmarisFormUnwatch. The watch holds a reference on the control. S_FALSE when it
// replaced an earlier watch of the same form.
typedef void (*VelmarisFormProc)(void* context, const velmaris::com::OLECHAR* json,
                                 uint32_t length);
velmaris::com::HRESULT VelmarisFormWatch(velmaris::com::IUnknown* control, VelmarisFormProc proc,
                                         void* context, velmaris::com::BSTR* form);
// Ends the watch (S_FALSE when there was none); `proc` is not called again.
velmaris::com::HRESULT VelmarisFormUnwatch(velmaris::com::IUnknown* control);
// Acts on a child control as a user would: action "click", "setText" (argument: text),
// "select" (argument: index), "check" (argument: 0/1), "drop" (argument: JSON array of paths),
// "hover" (argument: item index). Handlers run inside the call; errors inside a handler come
// back as DISP_E_EXCEPTION with `excep` filled.
// Also "toggle" (argument: index): flips one item of a multi-select list as Ctrl+click does,
// where "select" leaves only that item selected. "select" on a drop-down shows the entry as its
// text; "check" on an option button clears the other option buttons of its container. A control
// that is disabled or hidden, or sits in a frame that is, takes no action (E_ACCESSDENIED); an
// unknown child or action, or an index outside the list, is E_INVALIDARG.
velmaris::com::HRESULT VelmarisFormAct(velmaris::com::IUnknown* control,
                                       const velmaris::com::OLECHAR* name,
                                       const velmaris::com::OLECHAR* action,
                                       const velmaris::com::VARIANT* argument,
                                       velmaris::com::EXCEPINFO* excep);

// Forms on screen. Without these the forms stay headless and need no display.
// Puts the calling thread's forms on screen before its first control is made: Qt's event loop
// becomes the thread's message loop (sockets and timers run on it) and message boxes and file
// dialogs are real ones, so the Answer* services and VelmarisMessages answer E_UNEXPECTED from
// then on. S_OK (also when already on screen); E_UNEXPECTED once a control was made on this
// thread; E_FAIL without a display (set DISPLAY, or QT_QPA_PLATFORM=offscreen to draw off screen);
// E_NO_SCREEN_MODULE without the screen module beside the library, or the Qt it needs.
velmaris::com::HRESULT VelmarisUseScreen();
// Shows a control's form in a window of its own; S_FALSE when it has one open already. The window
// holds a reference on the control until it is closed. E_UNEXPECTED while the thread is headless.
velmaris::com::HRESULT VelmarisShowForm(velmaris::com::IUnknown* control);
// Closes a control's window as its close button does; S_FALSE when it has none open.
velmaris::com::HRESULT VelmarisCloseForm(velmaris::com::IUnknown* control);
// Runs the thread's loop until none of its forms' windows is open.
velmaris::com::HRESULT VelmarisRunUntilFormsClosed();
// Writes a PNG of a control's form as it is now: its window, or the form drawn off screen when it
// has none open. E_UNEXPECTED while the thread is headless; E_FAIL when the file cannot be
// written (its folder must exist).
velmaris::com::HRESULT VelmarisScreenshot(velmaris::com::IUnknown* control,
                                          const velmaris::com::OLECHAR* path);
}

// Every entry point a host looks up, once: X(field, symbol) with the field a host's table keeps it
// in. Its type is the declaration's above. A host cannot work without the first group and looks
// the host services up without insisting: a page that never uses one does not need it.
#define VELMARIS_LIBRARY_ENTRY_POINTS(X)     \
  X(get_class_object, DllGetClassObject)     \
  X(can_unload_now, DllCanUnloadNow)         \
  X(register_server, DllRegisterServer)      \
  X(unregister_server, DllUnregisterServer)  \
  X(sys_alloc_string_len, SysAllocStringLen) \
  X(sys_free_string, SysFreeString)          \
  X(sys_string_len, SysStringLen)            \
  X(variant_init, VariantInit)               \
  X(variant_clear, VariantClear)
#define VELMARIS_HOST_SERVICES(X)                        \
  X(pump, VelmarisPump)                                  \
  X(later, VelmarisLater)                                \
  X(current_loop, VelmarisCurrentLoop)                   \
  X(post, VelmarisPost)                                  \
  X(message_box, VelmarisMessageBox)                     \
  X(abandon, VelmarisAbandon)                            \
  X(use_answered_dialogs, VelmarisUseAnsweredDialogs)    \
  X(answer_message_box, VelmarisAnswerMessageBox)        \
  X(answer_file_dialog, VelmarisAnswerFileDialog)        \
  X(answer_folder, VelmarisAnswerFolder)                 \
  X(messages, VelmarisMessages)                          \
  X(form_get, VelmarisFormGet)                           \
  X(form_children, VelmarisFormChildren)                 \
  X(form_act, VelmarisFormAct)                           \
  X(form_watch, VelmarisFormWatch)                       \
  X(form_unwatch, VelmarisFormUnwatch)                   \
  X(use_screen, VelmarisUseScreen)                       \
  X(show_form, VelmarisShowForm)                         \
  X(close_form, VelmarisCloseForm)                       \
  X(run_until_forms_closed, VelmarisRunUntilFormsClosed) \
  X(screenshot, VelmarisScreenshot)
