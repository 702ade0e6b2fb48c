#include "platform/libreoffice/libreoffice_automation.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "base/codepage.h"

#include "platform/filesystem.h"
#include "platform/libreoffice/documents.h"
#include "platform/libreoffice/office_pipe.h"
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

// The profile in the user's cache folder; empty when there is none.
std::filesystem::path CacheProfileDir() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) {
    return std::filesystem::path(cache) / "velmaris" / "office-profile";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".cache" / "velmaris" / "office-profile";
  }
  return {};
}

// Every office of this process listens on one pipe, so that each control attaches to the office
// another one started; its name cannot be guessed, so nobody can listen there first.
const std::string& ProcessPipeName() {
  static const std::string name = libreoffice::FreshPipeName();
  return name;
}

class LibreOfficeAutomation : public OfficeAutomation {
 public:
  explicit LibreOfficeAutomation(LibreOfficeOptions options) : m_options(std::move(options)) {
    if (m_options.profile_dir.empty()) m_options.profile_dir = CacheProfileDir();
    if (m_options.pipe_name.empty()) m_options.pipe_name = ProcessPipeName();
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
    for (int tries = 0; !m_session; ++tries) {
      // A name something not ours holds is never waited on: the office gets a fresh one.
      if (tries == 3) {
        Raise(office::kErrCannotCreateObject, std::u16string(program_id),
              u"无法启动 LibreOffice：它的管道一再被其他用户占用");
      }
      if (libreoffice::CheckPipe(libreoffice::PipeSocketPath(m_options.pipe_name)) ==
          libreoffice::PipeState::kForeign) {
        m_options.pipe_name = libreoffice::FreshPipeName();
      }
      PrepareProfile();
      m_session = OfficeSession::Launch(m_options, program_id);
    }
    return Make(program);
  }

 private:
  // Without a cache folder the profile goes to the temporary folder, in a folder of the user's
  // alone: a profile someone else put there would run their settings and macros in our office.
  void PrepareProfile() {
    if (!m_options.profile_dir.empty()) return;
    m_profile_folder.emplace(PrivateFolder::Open(
        TempFolderPath(),
        u"velmaris-office-profile-" + codepage::FromUtf8(std::to_string(getuid()))));
    m_options.profile_dir = ToNativePath(m_profile_folder->Path());
  }

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
  std::optional<PrivateFolder> m_profile_folder;
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
