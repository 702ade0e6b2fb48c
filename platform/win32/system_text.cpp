#include "platform/win32/system_text.h"

#include <windows.h>

#include "base/codepage.h"

namespace velmaris {

std::u16string SystemText(int error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text = length == 0 ? u"未知错误 " + codepage::FromUtf8(std::to_string(error))
                                    : std::u16string(buffer, buffer + length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                           text.back() == u'.' || text.back() == u'。')) {
    text.pop_back();
  }
  return text;
}

}  // namespace velmaris
