// The Windows calls the server makes, declared without the system's headers, which define as
// macros names the server's own COM declarations use (S_OK, E_FAIL, DISP_E_*). Pointers to
// strings are BSTRs, pointers to void are VARIANTs or interfaces: the layouts are the same.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmaris::win32 {

char16_t* AllocString(const char16_t* text, uint32_t length);
void FreeString(char16_t* text);
uint32_t StringLength(const char16_t* text);

void InitVariant(void* variant);
int32_t ClearVariant(void* variant);
int32_t CopyVariant(void* destination, const void* source);
// The source as type `vt` by the system's rules, in the user's locale, booleans written as
// "True" and "False".
int32_t ChangeVariantType(void* destination, const void* source, uint16_t vt);

// The registered type library's description of interface `iid`, with a reference for the caller.
int32_t RegisteredTypeInfo(const void* libid, uint16_t major, uint16_t minor, const void* iid,
                           void** info);

// The full path of the DLL this code is in; empty when the system does not say.
std::u16string ModulePath();

struct ClassKeys {
  std::u16string clsid;  // "{...}"
  std::u16string progid;
  std::u16string name;
};
// Writes the classes' keys (CLSID with InprocServer32, apartment threading, ProgID and type
// library; the ProgID's CLSID), the keys a container looks for (Control, MiscStatus, the
// toolbox bitmap, version, version-independent ProgID, and the categories: control, safe for
// scripting, safe for initialising) and registers the type library embedded in `module`.
bool RegisterServer(const std::u16string& module, const std::vector<ClassKeys>& classes,
                    const std::u16string& libid);
// Removes exactly those keys and the type library's registration; a category's own key only
// when registration made it.
bool UnregisterServer(const std::vector<ClassKeys>& classes, const void* libid, uint16_t major,
                      uint16_t minor);

}  // namespace velmaris::win32
