#include "platform/libreoffice/libreoffice_automation.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/filesystem.h"
#include "platform/libreoffice/documents.h"
#include "platform/libreoffice/office_session.h"

#ifndef VELMARIS_LO_PROGRAM_DIR
#define VELMARIS_LO_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace velmaris {

namespace {

using libreoffice::OfficeSession;

enum class Program { kWord, kExcel, kPowerPoint };

Program ProgramOf(std::u16string_view program_id) {
  // Program ids are matched without regard to case, as the class registry does.
  auto same = [&](std::u16string_view known) {
    if (known.size() != program_id.size()) return false;
    for (size_t i = 0; i < known.size(); ++i) {
      auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
      if (lower(known[i]) != lower(program_id[i])) return false;
    }
    return true;
  };
  if (same(office::kWordProgramId)) return Program::kWord;
  if (same(office::kExcelProgramId)) return Program::kExcel;
  if (same(office::kPowerPointProgramId)) return Program::kPowerPoint;
  Raise(office::kErrCannotCreateObject, std::u16string(program_id),
        u"ActiveX 部件不能创建对象：未知的程序标识 " + std::u16string(program_id));
}

std::filesystem::path DefaultProfileDir() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) {
    return std::filesystem::path(cache) / "velmaris" / "office-profile";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".cache" / "velmaris" / "office-profile";
  }
  return ToNativePath(TempFolderPath()) / ("velmaris-office-profile-" + std::to_string(getuid()));
}

class LibreOfficeAutomation : public OfficeAutomation {
 public:
  explicit LibreOfficeAutomation(LibreOfficeOptions options) : m_options(std::move(options)) {
    if (m_options.profile_dir.empty()) m_options.profile_dir = DefaultProfileDir();
    if (m_options.pipe_name.empty()) {
      m_options.pipe_name = "velmaris_office_" + std::to_string(getuid());
    }
  }

  std::shared_ptr<OfficeApplication> GetObject(std::u16string_view program_id) override {
    const Program program = ProgramOf(program_id);
    if (!Attached()) m_session = OfficeSession::Connect(m_options);
    if (!m_session) {
      Raise(office::kErrCannotCreateObject, std::u16string(program_id),
            u"没有正在运行的 " + std::u16string(program_id));
    }
    return Make(program);
  }

  std::shared_ptr<OfficeApplication> CreateObject(std::u16string_view program_id) override {
    const Program program = ProgramOf(program_id);
    if (!Attached()) m_session = OfficeSession::Connect(m_options);
    if (!m_session) m_session = OfficeSession::Launch(m_options, program_id);
    return Make(program);
  }

 private:
  bool Attached() const { return m_session && m_session->Alive(); }

  std::shared_ptr<OfficeApplication> Make(Program program) {
    switch (program) {
      case Program::kWord:
        return libreoffice::MakeWriterApplication(m_session);
      case Program::kExcel:
        return libreoffice::MakeCalcApplication(m_session);
      case Program::kPowerPoint:
        break;
    }
    return libreoffice::MakeImpressApplication(m_session);
  }

  LibreOfficeOptions m_options;
  std::shared_ptr<OfficeSession> m_session;
};

}  // namespace

std::filesystem::path LibreOfficeOptions::DefaultProgramDir() {
  return VELMARIS_LO_PROGRAM_DIR;
}

std::unique_ptr<OfficeAutomation> MakeLibreOfficeAutomation(LibreOfficeOptions options) {
  return std::make_unique<LibreOfficeAutomation>(std::move(options));
}

std::string LibreOfficeUnavailableReason(const LibreOfficeOptions& options) {
  const std::filesystem::path program = options.program_dir / "soffice";
  if (access(program.c_str(), X_OK) != 0)
    return "LibreOffice is not installed (" + program.string() + ")";
  return {};
}

}  // namespace velmaris
