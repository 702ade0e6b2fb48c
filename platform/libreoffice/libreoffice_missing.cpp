// Built instead of the office layer when the office's development files were missing at build
// time: every attempt to reach an office application says so.
#include "platform/libreoffice/libreoffice_automation.h"

#ifndef VELMARIS_LO_PROGRAM_DIR
#define VELMARIS_LO_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace velmaris {

namespace {

class MissingOffice : public OfficeAutomation {
 public:
  std::shared_ptr<OfficeApplication> GetObject(std::u16string_view program_id) override {
    Fail(program_id);
  }
  std::shared_ptr<OfficeApplication> CreateObject(std::u16string_view program_id) override {
    Fail(program_id);
  }

 private:
  [[noreturn]] static void Fail(std::u16string_view program_id) {
    Raise(office::kErrCannotCreateObject, std::u16string(program_id),
          u"ActiveX 部件不能创建对象：本程序构建时没有 LibreOffice 开发包");
  }
};

}  // namespace

std::filesystem::path LibreOfficeOptions::DefaultProgramDir() {
  return VELMARIS_LO_PROGRAM_DIR;
}

std::unique_ptr<OfficeAutomation> MakeLibreOfficeAutomation(LibreOfficeOptions) {
  return std::make_unique<MissingOffice>();
}

std::string LibreOfficeUnavailableReason(const LibreOfficeOptions&) {
  return "this build has no LibreOffice SDK (install libreoffice-dev and configure again)";
}

}  // namespace velmaris
