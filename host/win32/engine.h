// The system's JScript engine behind IActiveScript, on the calling (single-threaded apartment)
// thread, asked for ES5. Pages see one named item of ours; uncaught errors are reported on
// stderr with their file and line, as the Linux host reports them.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <memory>
#include <string>

namespace velmaris::host::win32 {

class Engine {
 public:
  // The engine with `item` (a reference is taken) visible to scripts as `name`; null (with
  // `error`) when the system has no JScript.
  static std::unique_ptr<Engine> Create(const wchar_t* name, IDispatch* item, std::wstring& error);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Runs `source` as global code, named `file` in error reports; false when it ended in an
  // uncaught error (reported already).
  bool Run(const std::wstring& source, const std::wstring& file);
  // How many uncaught errors were reported so far.
  int Reported() const;
  // Ends the engine: it lets go of the objects its scripts held.
  void Close();

 private:
  struct Parts;
  explicit Engine(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> m_parts;
};

// Writes a line of text, in UTF-8 (or to the console as it is).
void WriteLine(bool error_stream, const std::wstring& text);

}  // namespace velmaris::host::win32
