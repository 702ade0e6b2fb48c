// MultiUpload: uploads a whole local folder tree, one request per file, mirroring the tree below
// the server directory the page names. The user picks the folder ("...") and starts the run
// ("开始上传"); the control shows the progress of the current file and of the whole tree.
#pragma once

#include <cstdint>
#include <string>

#include "core/upload_transfer.h"
#include "platform/filesystem.h"
#include "platform/forms.h"
#include "platform/platform.h"

namespace velmaris {

class MultiUpload {
 public:
  explicit MultiUpload(Platform& platform);

  void AddUploadFile(const std::u16string& p_name, const std::u16string& p_filename);
  void addFormData(const std::u16string& p_FormDataName, const std::u16string& p_FormDataValue);
  // Sends the package as it stands to the current address without waiting for the reply.
  void UploadFile();
  // Sets the upload address and the server directory; uploads nothing itself.
  void StartUpload(const std::u16string& sf, const std::u16string& pUrl);

  Form& GetForm() { return m_form; }
  UploadTransfer& Transfer() { return m_transfer; }
  const std::u16string& LocalDir() const { return m_local_dir; }
  const std::u16string& ServerDir() const { return m_server_dir; }
  int64_t TotalBytes() const { return m_total_bytes; }
  int64_t SentBytes() const { return m_sent_bytes; }
  bool Running() const { return m_running; }

 private:
  // "...": picks the local folder.
  void Command1_Click();
  // "开始上传": walks the picked folder and uploads every file, then says whether the server took
  // them all or how many of how many it did not.
  void Command2_Click();
  // Sends the files of `folder`, then each subfolder's, into `server_dir` (ending in "/") and the
  // matching folders below it, one request of `series` each. Every entry is opened as the walk
  // listed it, by its own name.
  void UploadFolder(const FolderEntry& folder, const std::u16string& server_dir,
                    UploadTransfer::Series& series);
  // Enables the start button once both a folder and a server directory are known.
  void UpdateStartButton();
  void ShowUploadError(const std::u16string& received);

  Platform& m_platform;
  Form m_form;
  FormControl& lblTitle;
  FormControl& Label3;
  FormControl& txtDir;
  FormControl& Command1;
  FormControl& Label1;
  FormControl& pbFile;
  FormControl& Label2;
  FormControl& pb;
  FormControl& lblFileName;
  FormControl& Command2;
  UploadTransfer m_transfer;

  std::u16string m_local_dir;
  std::u16string m_server_dir;
  // The address the page gave last. A run keeps the one it started with; a new one reaches the
  // transfer when the run is over.
  ServerAddress m_address;
  // Byte counts are 64-bit: trees beyond 2 GiB are walked like any other.
  int64_t m_total_bytes = 0;
  int64_t m_sent_bytes = 0;
  // Files the run meant to send (the thumbnail cache is not one), and those the server did not
  // take; after a connection that could not be made, the rest count as not taken unsent.
  int64_t m_files_total = 0;
  int64_t m_files_failed = 0;
  bool m_unreachable = false;
  bool m_running = false;
  // A folder choice or StartUpload came while a run was going: the start button is decided when
  // the run ends, so a second run cannot start inside the first.
  bool m_recheck_after_run = false;
};

}  // namespace velmaris
