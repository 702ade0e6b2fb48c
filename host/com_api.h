// The library functions the host needs, as pointers looked up at load time. The host never links
// the library: every string and variant that crosses into it is made and freed by these.
#pragma once

#include <string>
#include <string_view>

#include "server/host_api.h"

namespace velmaris::host {

struct ComApi {
  decltype(&::DllGetClassObject) get_class_object = nullptr;
  decltype(&::DllCanUnloadNow) can_unload_now = nullptr;
  decltype(&::DllRegisterServer) register_server = nullptr;
  decltype(&::DllUnregisterServer) unregister_server = nullptr;

  decltype(&::SysAllocStringLen) sys_alloc_string_len = nullptr;
  decltype(&::SysFreeString) sys_free_string = nullptr;
  decltype(&::SysStringLen) sys_string_len = nullptr;
  decltype(&::VariantInit) variant_init = nullptr;
  decltype(&::VariantClear) variant_clear = nullptr;

  decltype(&::VelmarisPump) pump = nullptr;
  decltype(&::VelmarisLater) later = nullptr;
  decltype(&::VelmarisAnswerMessageBox) answer_message_box = nullptr;
  decltype(&::VelmarisAnswerFileDialog) answer_file_dialog = nullptr;
  decltype(&::VelmarisAnswerFolder) answer_folder = nullptr;
  decltype(&::VelmarisMessages) messages = nullptr;
  decltype(&::VelmarisFormGet) form_get = nullptr;
  decltype(&::VelmarisFormChildren) form_children = nullptr;
  decltype(&::VelmarisFormAct) form_act = nullptr;
  decltype(&::VelmarisUseScreen) use_screen = nullptr;
  decltype(&::VelmarisShowForm) show_form = nullptr;
  decltype(&::VelmarisCloseForm) close_form = nullptr;
  decltype(&::VelmarisRunUntilFormsClosed) run_until_forms_closed = nullptr;
  decltype(&::VelmarisScreenshot) screenshot = nullptr;
};

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
