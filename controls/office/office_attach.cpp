#include "controls/office/office_attach.h"

#include <exception>

#include "base/codepage.h"
#include "controls/common/file_helpers.h"
#include "controls/common/plain_text.h"
#include "platform/filesystem.h"

namespace velmaris {

namespace {

constexpr char16_t kWorkFolder[] = u"doc2html";
constexpr char16_t kTempPrefix[] = u"html";
constexpr char16_t kTempEnding[] = u".tmp";
constexpr char16_t kNoTempName[] = u"无法在临时文件夹中创建临时文件：";

std::u16string Describe(const std::exception& error) {
  if (const auto* vb = dynamic_cast<const VbError*>(&error)) return vb->Description();
  return codepage::FromUtf8(error.what());
}

// The working folder in the temporary folder, private to the user; another private folder beside
// it when the name is taken.
PrivateFolder OpenWorkFolder() {
  CreateFolderPath(GetTempFolder());
  return PrivateFolder::Open(GetTempFolder(), kWorkFolder);
}

}  // namespace

AttachedApplication AttachOfficeApplication(const OfficeImportSite& site,
                                            std::u16string_view program_id) {
  AttachedApplication attached;
  OfficeAutomation* automation = nullptr;
  try {
    automation = site.office ? site.office() : nullptr;
  } catch (const std::exception& error) {
    attached.failure = Describe(error);
    return attached;
  }
  if (automation == nullptr) {
    attached.failure = u"没有可用的 Office 程序";
    return attached;
  }
  try {
    attached.application = automation->GetObject(program_id);
    if (attached.application) return attached;
  } catch (const std::exception&) {
    // Not running: start it below.
  }
  try {
    attached.application = automation->CreateObject(program_id);
    attached.started = attached.application != nullptr;
  } catch (const std::exception& error) {
    attached.failure = Describe(error);
  }
  return attached;
}

int32_t ColumnIdNumber(std::u16string_view column_id) {
  return WholeNumber(column_id, INT32_MIN, INT32_MAX);
}

std::u16string TitleFromPath(std::u16string_view path) {
  const size_t separator = path.find_last_of(u"\\/");
  const std::u16string_view name =
      separator == std::u16string_view::npos ? path : path.substr(separator + 1);
  const size_t dot = name.find(u'.');
  if (dot == std::u16string_view::npos) Raise(err::kInvalidCall);
  return std::u16string(name.substr(0, dot));
}

ConversionFiles::ConversionFiles(std::u16string_view folder_ending)
    : m_work(OpenWorkFolder()), m_work_dir(m_work.Path() + u"\\") {
  m_temp_name = MakeTempFileName(m_work, kTempPrefix);
  if (m_temp_name.empty()) {
    m_removed = true;
    Raise(err::kPathFileAccess, kLibrarySource, kNoTempName + m_work_dir);
  }
  m_temp_file = m_work_dir + m_temp_name;
  // Only the name's own ending is replaced.
  m_folder_name =
      m_temp_name.substr(0, m_temp_name.size() - std::char_traits<char16_t>::length(kTempEnding)) +
      std::u16string(folder_ending);
  m_folder = m_work_dir + m_folder_name;
  // The office is handed these paths: they must still lead into the folder held open.
  if (!m_work.StillAtPath()) {
    Remove();
    Raise(err::kPathFileAccess, kLibrarySource, u"工作文件夹 " + m_work.Path() + u" 已被替换");
  }
}

ConversionFiles::~ConversionFiles() {
  Remove();
}

void ConversionFiles::Remove() {
  if (m_removed) return;
  m_removed = true;
  // Through the open folder: what was put in place of either name goes, never what a link there
  // leads to. What cannot be removed stays in the private folder.
  m_work.Remove(m_temp_name);
  m_work.Remove(m_folder_name);
}

}  // namespace velmaris
