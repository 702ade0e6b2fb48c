#include "controls/image/picture_batch_base.h"

#include <exception>
#include <optional>
#include <vector>

#include "base/error.h"
#include "base/scope.h"
#include "base/text.h"
#include "controls/common/file_helpers.h"
#include "controls/common/file_list.h"
#include "controls/common/transfer_box.h"
#include "platform/filesystem.h"
#include "platform/picture.h"

namespace velmaris {

namespace {

constexpr char16_t kCrLf[] = u"\r\n";

constexpr char16_t kFileFilter[] =
    u"All Image File|*.jpg;*.bmp;*.gif|BMP File(*.bmp)|*.bmp|JPG File(*.jpg)|*.jpg"
    u"|GIF File(*.gif)|*.gif";
constexpr char16_t kUnknownFormat[] = u"为不可识别的图片格式，请选择*.jpg,*.bmp或*.gif文件";
constexpr char16_t kSizeSign[] = u"　×　";

constexpr char16_t kConfirm[] = u"是否确认要进行上传操作？";
constexpr char16_t kConfirmCaption[] = u"图片导入";
constexpr char16_t kOptionsCaption[] = u"导入图片";

constexpr char16_t kUploading[] = u"上传 ";
constexpr char16_t kUploaded[] = u"完成！";
constexpr char16_t kAllDone[] = u"本次上传图片全部传输完成！";
constexpr char16_t kSystemError[] = u"系统错误，操作被强行终止，错误描述：";
constexpr char16_t kTransferError[] = u"传输遇到错误：";
constexpr char16_t kUploadFailed[] = u"图片上传失败：";
// Between a picture's path and what went wrong with it.
constexpr char16_t kPathSeparator[] = u"：";

constexpr char16_t kDefaultPath[] = u"/cms/upload.asp";

}  // namespace

PictureBatchBase::PictureBatchBase(Platform& platform, const PictureFormLayout& layout,
                                   const char16_t* start_line)
    : m_platform(platform),
      m_form(layout),
      m_transfer(platform, {.default_path = kDefaultPath,
                            .error_action =
                                [this](const std::u16string& received) {
                                  AppendLog(kTransferError + received + kCrLf);
                                },
                            .progress = [this](double percent) { m_form.pbFile.SetValue(percent); },
                            .error_box = TransferErrorBox(platform.ui)}),
      m_start_line(start_line) {
  m_form.btnAddFile.on_click = [this] { btnAddFile_Click(); };
  m_form.btnDelFile.on_click = [this] { btnDelFile_Click(); };
  m_form.btnBegin.on_click = [this] { btnBegin_Click(); };
  m_form.btnCancel.on_click = [this] { btnCancel_Click(); };
  m_form.lstFileList.on_click = [this] { lstFileList_Click(); };
  m_form.lstFileList.on_hover_item = [this](int index) { ShowEntryTip(m_form.lstFileList, index); };
  m_form.chkSmallPic.on_click = [this] { ThumbnailClicked(m_form.chkSmallPic.Checked() == 1); };
  m_form.chkStamp.on_click = [this] { chkStamp_Click(); };
  m_form.optNameByPic.on_click = [this] { optName_Click(); };
  m_form.optNameBySet.on_click = [this] { optName_Click(); };
}

PictureBatchBase::~PictureBatchBase() {
  // The form may outlive the control in a renderer's hands: its handlers must not.
  for (const auto& child : m_form.form.Children()) {
    child->on_click = nullptr;
    child->on_change = nullptr;
    child->on_drop = nullptr;
    child->on_hover_item = nullptr;
  }
}

// --- Public members -------------------------------------------------------------------------

void PictureBatchBase::Init(const std::u16string& UploadUrl, const std::u16string& PostUrl,
                            const std::u16string& strPath, int32_t pColumnid,
                            const std::u16string& pUserName, const std::u16string& strWater,
                            int32_t pIssueid, int32_t pObjectType) {
  InitContext(m_transfer, UploadUrl, PostUrl, strPath, pColumnid, pUserName, pIssueid, pObjectType);
  m_form.txtStampText.SetText(strWater);
}

// While a batch runs, the package and the connection are the batch's.
void PictureBatchBase::addFormData(const std::u16string& p_FormDataName,
                                   const std::u16string& p_FormDataValue) {
  UploadTransfer::RefuseWhileBusy(m_in_batch);
  m_transfer.Package().addFormData(p_FormDataName, p_FormDataValue);
}

void PictureBatchBase::StartUpload(const std::u16string& localfile) {
  UploadTransfer::RefuseWhileBusy(m_in_batch);
  SendPicture(localfile);
}

void PictureBatchBase::SendPicture(const std::u16string& localfile) {
  m_transfer.RefuseInsideWait();
  FileEntry file = FileSystemObject().GetFile(localfile);
  m_transfer.RunAsItStands(
      [&](CompondFile& package) { package.AddUploadFile(file.Name, file.Path); });
}

// --- The batch's steps, for the controls ----------------------------------------------------

void PictureBatchBase::ForEachPicture(
    const std::function<void(const std::u16string& path)>& handle) {
  const int count = static_cast<int>(m_form.lstFileList.Items().size());
  for (int index = 0; index < count && m_running; ++index) {
    // The form's progress bars count in percent.
    m_form.ProgressBar.SetValue((index + 1) * 100.0 / count);
    const std::u16string path = m_form.lstFileList.Items().at(static_cast<size_t>(index));
    try {
      handle(path);
    } catch (const VbError& error) {
      throw VbError(error.Number(), error.Source(), path + kPathSeparator + error.Description());
    }
  }
}

std::u16string PictureBatchBase::TitleFor(const std::u16string& path) const {
  return PictureTitle(path, Options());
}

PostFields PictureBatchBase::UploadHead() const {
  return velmaris::UploadHead(m_cur_path, m_user_name, Options());
}

void PictureBatchBase::FillPackage(const PostFields& fields) {
  m_transfer.Package().RemoveAll();
  for (const auto& [name, value] : fields) m_transfer.Package().addFormData(name, value);
}

void PictureBatchBase::UploadPicture(const std::u16string& path) {
  AppendLog(kUploading + path);
  SendPicture(path);
  // Without the server's answer there is nothing to post: "Error" is no article.
  RaiseUnlessAccepted(m_transfer, kUploadFailed);
  AppendLog(std::u16string(kUploaded) + kCrLf);
}

std::u16string PictureBatchBase::ReplyFragment() const {
  return velmaris::ReplyFragment(m_transfer.Reply());
}

void PictureBatchBase::PostPictureArticle(const std::u16string& title,
                                          const std::u16string& content) {
  PostFields fields = ArticleFields(Article{
      DecimalText(m_column_id), m_issue_id, m_object_type, title, content, m_user_name, {}});
  // The picture articles carry no server directory.
  std::erase_if(fields, [](const auto& field) { return field.first == u"curpath"; });
  PostForm(m_transfer, m_post_path, std::move(fields));
}

const char16_t* PictureBatchBase::OptionsProblem() const {
  return StampTextProblem(Options());
}

// --- Handlers -------------------------------------------------------------------------------

void PictureBatchBase::btnAddFile_Click() {
  // Whatever fails here ends the handler quietly; what was added stays.
  try {
    FileDialogRequest request;
    request.filter = kFileFilter;
    request.multi_select = true;
    const std::optional<std::u16string> answer = m_platform.ui.OpenFileDialog(request);
    // A cancelled dialog leaves the list, its selection and the preview as they are.
    if (!answer || answer->empty()) return;
    const bool alone = answer->find(u'\0') == std::u16string::npos;
    for (const auto& path : ChosenFiles(*answer)) OfferPicture(path, alone);
    if (alone) return;
    FormControl& list = m_form.lstFileList;
    if (list.Items().empty()) return;
    for (int i = 0; i < static_cast<int>(list.Items().size()); ++i) {
      if (list.Selected(i)) list.SetSelected(i, false);
    }
    list.SetListIndex(0);
    list.SetSelected(0, true);
    ShowPreview();
  } catch (const std::exception&) {
  }
}

void PictureBatchBase::OfferPicture(const std::u16string& path, bool alone) {
  if (!IsPictureFile(path, alone)) {
    m_platform.ui.MessageBox(path + kUnknownFormat, msgbox::kOkOnly, u"");
    return;
  }
  m_form.lstFileList.AddItem(path);
  m_form.btnDelFile.SetEnabled(true);
  m_form.btnBegin.SetEnabled(true);
}

void PictureBatchBase::btnDelFile_Click() {
  if (m_form.lstFileList.Items().empty()) return;
  RemoveSelectedEntries(m_form.lstFileList);
  if (m_form.lstFileList.Items().empty()) {
    m_form.btnDelFile.SetEnabled(false);
    m_form.btnBegin.SetEnabled(false);
  }
}

void PictureBatchBase::lstFileList_Click() {
  ShowPreview();
}

void PictureBatchBase::ShowPreview() {
  const int index = m_form.lstFileList.ListIndex();
  if (index < 0) return;
  const std::u16string path = m_form.lstFileList.Items().at(static_cast<size_t>(index));
  // Decoding the whole picture proves it can be shown; a damaged one leaves the preview as it was.
  const Picture picture = LoadPicture(path);
  m_form.imgPreview.SetPicture(path);
  m_form.lblImgName.SetText(GetFileName(path) + kCrLf + DecimalText(picture.size.width) +
                            kSizeSign + DecimalText(picture.size.height));
}

void PictureBatchBase::chkStamp_Click() {
  const bool on = m_form.chkStamp.Checked() == 1;
  for (FormControl* control : m_form.stamp_options) control->SetEnabled(on);
}

void PictureBatchBase::optName_Click() {
  m_form.txtTitle.SetEnabled(m_form.optNameBySet.Checked() == 1);
}

void PictureBatchBase::btnCancel_Click() {
  // The picture in hand is finished first: the batch looks at m_running between pictures.
  m_running = false;
  m_form.btnBegin.SetEnabled(true);
  m_form.btnCancel.SetEnabled(false);
  m_form.pbFile.SetVisible(false);
}

void PictureBatchBase::btnBegin_Click() {
  // A cancelled batch still finishing its picture owns the socket, the package and the tick
  // counter until it is done: a second one must not start inside it.
  if (m_in_batch) return;
  if (m_platform.ui.MessageBox(kConfirm, msgbox::kYesNo, kConfirmCaption) == msgbox::kYes) {
    if (m_form.lstFileList.Items().empty()) return;
    ShowRunning();
    if (const char16_t* problem = OptionsProblem()) {
      m_platform.ui.MessageBox(problem, msgbox::kOkOnly, kOptionsCaption);
    } else {
      ScopedFlag in_batch(m_in_batch);
      m_running = true;
      AppendLog(m_start_line + std::u16string(kCrLf));
      try {
        RunPictures();
        AppendLog(std::u16string(kAllDone) + kCrLf);
        m_form.lstFileList.Clear();
      } catch (...) {
        // The list keeps its entries, so nothing is lost; the log says what went wrong.
        m_last_error = CurrentError({.exception = err::kInvalidCall,
                                     .unknown = err::kInvalidCall,
                                     .out_of_memory = err::kOutOfMemory,
                                     .describe_unknown = true});
      }
      m_running = false;
    }
  }
  ReturnToRest();
}

// --- The form during a batch ----------------------------------------------------------------

void PictureBatchBase::AppendLog(const std::u16string& text) {
  m_form.txtLog.SetText(m_form.txtLog.Text() + text);
}

void PictureBatchBase::ShowRunning() {
  m_form.txtLog.SetText(u"");
  m_form.btnAddFile.SetEnabled(false);
  m_form.btnDelFile.SetEnabled(false);
  m_form.btnBegin.SetEnabled(false);
  m_form.btnCancel.SetEnabled(true);
  m_form.ProgressBar.SetValue(0);
  m_form.ProgressBar.SetVisible(true);
  m_form.pbFile.SetVisible(true);
}

void PictureBatchBase::ReturnToRest() {
  if (m_last_error.number != 0) {
    // A picture cut short leaves its log line open: the error starts on a line of its own.
    const std::u16string& log = m_form.txtLog.Text();
    if (!log.empty() && !log.ends_with(kCrLf)) AppendLog(kCrLf);
    AppendLog(kSystemError + std::u16string(kCrLf) + u"(" + DecimalText(m_last_error.number) +
              u")[" + m_last_error.source + u"]" + m_last_error.description + u";" + kCrLf);
    m_last_error = {};
  }
  m_form.btnAddFile.SetEnabled(true);
  m_form.btnDelFile.SetEnabled(true);
  m_form.ProgressBar.SetVisible(false);
  m_form.btnBegin.SetEnabled(true);
  m_form.btnCancel.SetEnabled(false);
  m_form.pbFile.SetVisible(false);
}

}  // namespace velmaris
