#include "controls/file/file_upload.h"

#include "base/text.h"
#include "controls/common/transfer_box.h"
#include "platform/filesystem.h"

namespace velmaris {

namespace {

constexpr ControlRow kLayout[] = {
    {ControlKind::kProgressBar, u"pbFile", {120, 120, 5295, 255}},
};

}  // namespace

FileUpload::FileUpload(Platform& platform)
    : m_form(u"FileUpload", 5475, 420, kLayout),
      pbFile(m_form[u"pbFile"]),
      m_transfer(platform, {.default_path = u"/upload.asp",
                            .progress = [this](double percent) { pbFile.SetValue(percent); },
                            .error_box = TransferErrorBox(platform.ui)}) {}

void FileUpload::AddUploadFile(const std::u16string& p_name, const std::u16string& p_filename) {
  m_transfer.Package().AddUploadFile(p_name, p_filename);
}

void FileUpload::addFormData(const std::u16string& p_FormDataName,
                             const std::u16string& p_FormDataValue) {
  m_transfer.Package().addFormData(p_FormDataName, p_FormDataValue);
}

void FileUpload::UploadFile() {
  m_transfer.Send();
}

void FileUpload::StartUpload(const std::u16string& sf, const std::u16string& pUrl,
                             const std::u16string& localfile, int32_t contentid) {
  m_transfer.RefuseInsideWait();
  m_transfer.ParseServerAddress(pUrl);
  std::u16string folder = sf;
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  FileEntry file = FileSystemObject().GetFile(localfile);

  m_transfer.Run([&](CompondFile&) {
    addFormData(u"curPath", folder);
    addFormData(u"contentid", DecimalText(contentid));
    AddUploadFile(file.Name, file.Path);
  });
}

int32_t FileUpload::GetFileSize(const std::u16string& p_filename) {
  return FileSystemObject().GetFile(p_filename).Size();
}

}  // namespace velmaris
