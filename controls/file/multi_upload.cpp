#include "controls/file/multi_upload.h"

#include <functional>
#include <utility>

#include "base/error.h"
#include "base/scope.h"
#include "base/text.h"
#include "controls/common/transfer_box.h"
#include "controls/file/folder_browse.h"
#include "platform/filesystem.h"

namespace velmaris {

namespace {

constexpr char16_t kDefaultPath[] = u"/upload.asp";
constexpr char16_t kErrorCaption[] = u"文件上传时出错!";
constexpr char16_t kSendingFile[] = u"正在发送文件:";
constexpr char16_t kAllDone[] = u"所有文件上传完成.";
// The end of a run in which the server did not take every file: "共 5 个文件，其中 2 个上传失败."
constexpr char16_t kCountOpen[] = u"共 ";
constexpr char16_t kCountFailed[] = u" 个文件，其中 ";
constexpr char16_t kCountClose[] = u" 个上传失败.";
// Before the count when the run stopped because the server could not be reached.
constexpr char16_t kStopped[] = u"无法连接服务器，上传已停止.";
// The thumbnail cache a folder may carry: never sent; only this exact spelling is skipped.
constexpr char16_t kThumbnailCache[] = u"Thumbs.db";
constexpr char16_t kPathField[] = u"path";

// An error inside a click ends that click where it happened; the user is told, and the host's
// event loop, which delivered the click, goes on.
template <typename Handler>
void ReportingErrors(Ui& ui, Handler handler) {
  try {
    handler();
  } catch (const VbError& e) {
    ui.MessageBox(e.Description(), msgbox::kCritical, u"");
  }
}

using enum ControlKind;

constexpr ControlRow kLayout[] = {
    {kLabel, u"lblTitle", {240, 240, 6375, 255}, u"", u"批量上传文件到服务器"},
    {kLabel, u"Label3", {360, 720, 975, 255}, u"", u"本地目录："},
    {kTextBox, u"txtDir", {1440, 600, 4335, 375}},
    {kButton, u"Command1", {5880, 600, 615, 375}, u"", u"..."},
    {kLabel, u"Label1", {240, 1200, 1455, 255}, u"", u"当前文件进度："},
    {kProgressBar, u"pbFile", {240, 1440, 6255, 255}},
    {kLabel, u"Label2", {240, 1800, 1455, 255}, u"", u"总体进度："},
    {kProgressBar, u"pb", {240, 2040, 6255, 255}},
    {kLabel, u"lblFileName", {240, 2400, 6375, 255}},
    {kButton, u"Command2", {4680, 2880, 1575, 495}, u"", u"开始上传", row::kDisabled},
};

}  // namespace

MultiUpload::MultiUpload(Platform& platform)
    : m_platform(platform),
      m_form(u"MultiUpload", 6870, 3600, kLayout),
      lblTitle(m_form[u"lblTitle"]),
      Label3(m_form[u"Label3"]),
      txtDir(m_form[u"txtDir"]),
      Command1(m_form[u"Command1"]),
      Label1(m_form[u"Label1"]),
      pbFile(m_form[u"pbFile"]),
      Label2(m_form[u"Label2"]),
      pb(m_form[u"pb"]),
      lblFileName(m_form[u"lblFileName"]),
      Command2(m_form[u"Command2"]),
      m_transfer(
          platform,
          {.default_path = kDefaultPath,
           .keeps_reply = false,
           .error_action = [this](const std::u16string& received) { ShowUploadError(received); },
           .progress = [this](double percent) { pbFile.SetValue(percent); },
           .error_box = TransferErrorBox(platform.ui)}),
      m_address(m_transfer.Address()) {
  Command1.on_click = [this] { ReportingErrors(m_platform.ui, [this] { Command1_Click(); }); };
  Command2.on_click = [this] { ReportingErrors(m_platform.ui, [this] { Command2_Click(); }); };
}

// While a folder goes up, the package and the connection are the run's.
void MultiUpload::AddUploadFile(const std::u16string& p_name, const std::u16string& p_filename) {
  UploadTransfer::RefuseWhileBusy(m_running);
  m_transfer.Package().AddUploadFile(p_name, p_filename);
}

void MultiUpload::addFormData(const std::u16string& p_FormDataName,
                              const std::u16string& p_FormDataValue) {
  UploadTransfer::RefuseWhileBusy(m_running);
  m_transfer.Package().addFormData(p_FormDataName, p_FormDataValue);
}

void MultiUpload::UploadFile() {
  UploadTransfer::RefuseWhileBusy(m_running);
  m_transfer.Send();
}

void MultiUpload::StartUpload(const std::u16string& sf, const std::u16string& pUrl) {
  m_address = ParseServerAddress(pUrl, m_address);
  if (!m_running) m_transfer.SetAddress(m_address);
  std::u16string folder = sf;
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  m_server_dir = std::move(folder);
  UpdateStartButton();
}

void MultiUpload::UpdateStartButton() {
  if (txtDir.Text().empty() || m_server_dir.empty()) return;
  if (m_running) {
    m_recheck_after_run = true;
    return;
  }
  Command2.SetEnabled(true);
}

void MultiUpload::Command1_Click() {
  m_local_dir = ModFolder_Browse::BrowseForFolder(m_platform.ui);
  txtDir.SetText(m_local_dir);
  // A cancelled choice leaves an enabled button as it is; the empty folder stops the click.
  UpdateStartButton();
}

void MultiUpload::Command2_Click() {
  if (txtDir.Text().empty() || m_running) return;
  Command2.SetEnabled(false);
  m_recheck_after_run = false;
  m_running = true;
  ScopeExit end_of_run([this] {
    m_running = false;
    m_transfer.SetAddress(m_address);
    if (m_recheck_after_run) {
      m_recheck_after_run = false;
      UpdateStartButton();
    }
  });

  // The run keeps the folders it started with, whatever the user or the page chooses meanwhile.
  const std::u16string local_dir = m_local_dir;
  const std::u16string server_dir = m_server_dir;
  const FolderEntry root = FileSystemObject().GetFolder(local_dir);
  m_total_bytes = root.TotalSize();
  m_sent_bytes = 0;
  m_files_total = 0;
  m_files_failed = 0;
  m_unreachable = false;
  UploadTransfer::Series series(m_transfer);
  UploadFolder(root, server_dir, series);
  series.End();
  pb.SetValue(100);
  m_platform.loop.Pump();
  if (m_files_failed == 0) {
    m_platform.ui.MessageBox(kAllDone, msgbox::kOkOnly, u"");
    return;
  }
  m_platform.ui.MessageBox((m_unreachable ? std::u16string(kStopped) + u"\r\n" : u"") + kCountOpen +
                               DecimalText(m_files_total) + kCountFailed +
                               DecimalText(m_files_failed) + kCountClose,
                           msgbox::kOkOnly | msgbox::kExclamation, u"");
}

void MultiUpload::UploadFolder(const FolderEntry& folder, const std::u16string& server_dir,
                               UploadTransfer::Series& series) {
  for (const FileEntry& file : folder.Files()) {
    if (file.Name == kThumbnailCache) continue;
    ++m_files_total;
    // Once a connection could not be made the others would fail alike, each after its own wait
    // and socket box: the rest of the tree is only counted.
    if (m_unreachable) {
      ++m_files_failed;
      continue;
    }
    lblFileName.SetText(kSendingFile + file.Name);
    series.Run([&](CompondFile& package) {
      package.addFormData(kPathField, server_dir);
      package.AddUploadFile(file.Name, file.Path, file.native);
    });
    if (m_transfer.LastOutcome() != TransferOutcome::kSuccess) ++m_files_failed;
    if (m_transfer.LastOutcome() == TransferOutcome::kNotConnected) m_unreachable = true;

    // A file counts once its turn is over, whether or not the server took it.
    m_sent_bytes += file.size;
    // A tree of empty files has nothing left to send once each is through.
    pb.SetValue(m_total_bytes <= 0 ? 100.0
                                   : static_cast<double>(RoundHalfEven(
                                         static_cast<double>(m_sent_bytes) /
                                         static_cast<double>(m_total_bytes) * 100.0)));
    m_platform.loop.Pump();
  }
  // Links to folders are not listed, so a link cycle cannot make the walk recurse for ever.
  for (const FolderEntry& sub : folder.SubFolders()) {
    UploadFolder(sub, server_dir + sub.Name + u'/', series);
  }
}

void MultiUpload::ShowUploadError(const std::u16string& received) {
  m_platform.ui.MessageBox(received, msgbox::kCritical | msgbox::kOkOnly, kErrorCaption);
}

}  // namespace velmaris
