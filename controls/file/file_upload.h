// FileUpload: uploads one local file with a server directory and a content identifier, and hands
// the server's answer back to the page in NewFileName.
#pragma once

#include <cstdint>
#include <string>

#include "core/upload_transfer.h"
#include "platform/forms.h"
#include "platform/platform.h"

namespace velmaris {

class FileUpload {
 public:
  explicit FileUpload(Platform& platform);

  std::u16string NewFileName() const { return m_transfer.Reply(); }
  void SetNewFileName(const std::u16string& name) { m_transfer.SetReply(name); }

  void AddUploadFile(const std::u16string& p_name, const std::u16string& p_filename);
  void addFormData(const std::u16string& p_FormDataName, const std::u16string& p_FormDataValue);
  // Sends the package as it stands to the current address without waiting for the reply.
  void UploadFile();
  // Does nothing and succeeds: the page learns that the control answers script.
  void TestOK() {}
  void StartUpload(const std::u16string& sf, const std::u16string& pUrl,
                   const std::u16string& localfile, int32_t contentid);
  int32_t GetFileSize(const std::u16string& p_filename);

  Form& GetForm() { return m_form; }
  UploadTransfer& Transfer() { return m_transfer; }

 private:
  Form m_form;
  FormControl& pbFile;
  UploadTransfer m_transfer;
};

}  // namespace velmaris
