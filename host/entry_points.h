// Looking the library's entry points up, for every host: by name, through the system's own
// lookup (dlsym, GetProcAddress). Free of the COM declarations, so the Windows host, whose sources
// include the system's headers, uses it as the Linux host does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmaris::host {

struct ComApi;

// One exported symbol of `module`; null when it has none.
using SymbolLookup = void* (*)(void* module, const char* name);

// Fills `api` from `module`. False, with `missing` naming it, when an entry point the host cannot
// work without is absent; the host services are looked up without insisting.
bool ResolveEntryPoints(void* module, SymbolLookup lookup, ComApi& api, std::string& missing);

// The same, made for sources that see ComApi only declared; null when one is missing.
std::shared_ptr<const ComApi> LoadEntryPoints(void* module, SymbolLookup lookup,
                                              std::string& missing);

// True when DllCanUnloadNow says nothing of the library is still in use.
bool CanUnload(const ComApi& api);

// Has the library let the host answer this thread's message boxes and dialogs; false when it
// refuses. A library without the service answers them so already.
bool UseAnsweredDialogs(const ComApi& api);

// Puts the library's forms on screen for this thread: its answer (an HRESULT), E_NOTIMPL
// (0x80004001) for a library without the service.
int32_t UseScreen(const ComApi& api);
// Shows the form of `control` (an IUnknown of the library's) in a window of its own; a control
// without a form, or a library without windows, is left as it is.
void ShowForm(const ComApi& api, void* control);
// Runs the library's loop until every window of the thread's forms is closed.
void RunUntilFormsClosed(const ComApi& api);

}  // namespace velmaris::host
