// The library functions the host needs, as pointers looked up at load time. The host never links
// the library: every string and variant that crosses into it is made and freed by these.
#pragma once

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "server/host_api.h"

namespace velmaris::host {

struct ComApi {
#define VELMARIS_API_FIELD(field, symbol) decltype(&::symbol) field = nullptr;
  VELMARIS_LIBRARY_ENTRY_POINTS(VELMARIS_API_FIELD)
  VELMARIS_HOST_SERVICES(VELMARIS_API_FIELD)
#undef VELMARIS_API_FIELD
};

// A script's number as a control takes it: whole numbers that fit in 32 bits as VT_I4, the rest
// as VT_R8.
inline void PutNumber(double number, com::VARIANT& out) {
  if (std::trunc(number) == number && number >= std::numeric_limits<int32_t>::min() &&
      number <= std::numeric_limits<int32_t>::max()) {
    out.vt = com::VT_I4;
    out.lVal = static_cast<int32_t>(number);
  } else {
    out.vt = com::VT_R8;
    out.dblVal = number;
  }
}

// Owns one BSTR made by the library; freed by the same library.
class Bstr {
 public:
  explicit Bstr(const ComApi& api) : m_api(api) {}
  Bstr(const ComApi& api, std::u16string_view text)
      : m_api(api),
        m_text(api.sys_alloc_string_len(text.data(), static_cast<uint32_t>(text.size()))) {}
  ~Bstr() {
    if (m_text) m_api.sys_free_string(m_text);
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  com::BSTR Get() const { return m_text; }
  com::BSTR* Out() { return &m_text; }
  std::u16string Text() const {
    return m_text ? std::u16string(m_text, m_api.sys_string_len(m_text)) : std::u16string();
  }

 private:
  const ComApi& m_api;
  com::BSTR m_text = nullptr;
};

}  // namespace velmaris::host
