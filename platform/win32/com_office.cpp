#include "platform/win32/com_office.h"

// windows.h first: the OLE headers build on it. Its macros would rename members of ours
// (GetObject among them).
#include <windows.h>

#include <oleauto.h>
#undef DeleteFile
#undef GetObject
#undef MessageBox

#include <string>

namespace velmaris {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

[[noreturn]] void CannotCreate(const std::u16string& program_id, const std::u16string& why) {
  Raise(office::kErrCannotCreateObject, program_id, u"ActiveX 部件不能创建对象：" + why);
}

// The class registered under the program id; 429 when there is none.
CLSID ClassOf(const std::u16string& program_id) {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(Wide(program_id), &clsid))) {
    CannotCreate(program_id, u"本机没有安装 " + program_id);
  }
  return clsid;
}

// What was found is let go again: there is nothing here yet to drive it with.
[[noreturn]] void NoClient(IUnknown* found, const std::u16string& program_id) {
  found->Release();
  Raise(
      office::kErrAutomation, program_id,
      u"找到了 " + program_id + u"，但本程序的 Windows 版本还不能驱动它（尚无 COM 自动化客户端）");
}

class ComOfficeAutomation : public OfficeAutomation {
 public:
  std::shared_ptr<OfficeApplication> GetObject(std::u16string_view program_id) override {
    const std::u16string id(program_id);
    const CLSID clsid = ClassOf(id);
    IUnknown* running = nullptr;
    if (FAILED(GetActiveObject(clsid, nullptr, &running)) || running == nullptr) {
      CannotCreate(id, id + u" 没有在运行");
    }
    NoClient(running, id);
  }

  std::shared_ptr<OfficeApplication> CreateObject(std::u16string_view program_id) override {
    const std::u16string id(program_id);
    const CLSID clsid = ClassOf(id);
    IUnknown* started = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&started))) ||
        started == nullptr) {
      CannotCreate(id, u"无法启动 " + id);
    }
    NoClient(started, id);
  }
};

}  // namespace

std::unique_ptr<OfficeAutomation> MakeComOfficeAutomation() {
  return std::make_unique<ComOfficeAutomation>();
}

}  // namespace velmaris
