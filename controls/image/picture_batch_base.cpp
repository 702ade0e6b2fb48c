#include "controls/image/picture_batch_base.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "base/scope.h"
#include "base/text.h"
#include "controls/common/file_helpers.h"
#include "controls/common/plain_text.h"
#include "controls/common/transfer_box.h"
#include "platform/filesystem.h"
#include "platform/picture.h"

namespace velmaris {

namespace {

constexpr char16_t kCrLf[] = u"\r\n";

constexpr char16_t kFileFilter[] =
    u"All Image File|*.jpg;*.bmp;*.gif|BMP File(*.bmp)|*.bmp|JPG File(*.jpg)|*.jpg"
    u"|GIF File(*.gif)|*.gif";
constexpr const char16_t* kPictureExtensions[] = {u"bmp", u"jpg", u"gif"};
constexpr char16_t kUnknownFormat[] = u"为不可识别的图片格式，请选择*.jpg,*.bmp或*.gif文件";
constexpr char16_t kSizeSign[] = u"　×　";

constexpr char16_t kConfirm[] = u"是否确认要进行上传操作？";
constexpr char16_t kConfirmCaption[] = u"图片导入";
constexpr char16_t kEnterStampText[] = u"请输入水印文字";
constexpr char16_t kOptionsCaption[] = u"导入图片";

constexpr char16_t kUploading[] = u"上传 ";
constexpr char16_t kUploaded[] = u"完成！";
constexpr char16_t kAllDone[] = u"本次上传图片全部传输完成！";
constexpr char16_t kSystemError[] = u"系统错误，操作被强行终止，错误描述：";
constexpr char16_t kTransferError[] = u"传输遇到错误：";
constexpr char16_t kUploadFailed[] = u"图片上传失败：";
// Between a picture's path and what went wrong with it.
constexpr char16_t kPathSeparator[] = u"：";

constexpr char16_t kClick[] = u"Click";
constexpr char16_t kClickForLarger[] = u"点击看大图";
constexpr char16_t kContentId[] = u"-1";
constexpr char16_t kThumbnailTarget[] = u"about:blank";

constexpr char16_t kDefaultPath[] = u"/cms/upload.asp";

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
  for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

std::vector<std::u16string> SplitAtNul(const std::u16string& text) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(u'\0', start);
    parts.push_back(text.substr(start, at == std::u16string::npos ? at : at - start));
    if (at == std::u16string::npos) return parts;
    start = at + 1;
  }
}

// The dialog's folder with a separator after it, written the way the folder is: a POSIX folder
// gets "/", anything else "\".
std::u16string FolderWithSeparator(std::u16string folder) {
  const bool posix =
      folder.find(u'/') != std::u16string::npos && folder.find(u'\\') == std::u16string::npos;
  if (folder.empty() || (folder.back() != u'\\' && folder.back() != u'/')) {
    folder += posix ? u'/' : u'\\';
  }
  return folder;
}

}  // namespace

PictureBatchBase::PictureBatchBase(Platform& platform, const Texts& texts, int log_top)
    : m_platform(platform),
      m_form(texts.form, 9360, log_top + 1500),
      Frame1(m_form.Add(ControlKind::kFrame, u"Frame1", {120, 120, 5400, 2880})),
      lstFileList(
          m_form.Add(ControlKind::kListBox, u"lstFileList", {120, 300, 3840, 2400}, u"Frame1")),
      btnAddFile(
          m_form.Add(ControlKind::kButton, u"btnAddFile", {4080, 300, 1200, 375}, u"Frame1")),
      btnDelFile(
          m_form.Add(ControlKind::kButton, u"btnDelFile", {4080, 780, 1200, 375}, u"Frame1")),
      btnBegin(m_form.Add(ControlKind::kButton, u"btnBegin", {4080, 1260, 1200, 375}, u"Frame1")),
      btnCancel(m_form.Add(ControlKind::kButton, u"btnCancel", {4080, 1740, 1200, 375}, u"Frame1")),
      Picture1(m_form.Add(ControlKind::kFrame, u"Picture1", {5640, 180, 3600, 2280})),
      imgPreview(
          m_form.Add(ControlKind::kImageBox, u"imgPreview", {60, 60, 3480, 2160}, u"Picture1")),
      lblImgName(m_form.Add(ControlKind::kLabel, u"lblImgName", {5640, 2520, 3600, 480})),
      Frame2(m_form.Add(ControlKind::kFrame, u"Frame2", {120, 3120, 9120, 2040})),
      chkSmallPic(
          m_form.Add(ControlKind::kCheckBox, u"chkSmallPic", {120, 300, 1200, 255}, u"Frame2")),
      chkStamp(m_form.Add(ControlKind::kCheckBox, u"chkStamp", {120, 720, 1440, 255}, u"Frame2")),
      Label1(m_form.Add(ControlKind::kLabel, u"Label1", {1680, 750, 960, 255}, u"Frame2")),
      txtStampText(
          m_form.Add(ControlKind::kTextBox, u"txtStampText", {2640, 690, 2160, 300}, u"Frame2")),
      Label2(m_form.Add(ControlKind::kLabel, u"Label2", {4920, 750, 960, 255}, u"Frame2")),
      cmbColor(m_form.Add(ControlKind::kComboBox, u"cmbColor", {5880, 690, 1080, 300}, u"Frame2")),
      Label11(m_form.Add(ControlKind::kLabel, u"Label11", {7080, 750, 600, 255}, u"Frame2")),
      cmbPosition(
          m_form.Add(ControlKind::kComboBox, u"cmbPosition", {7680, 690, 1320, 300}, u"Frame2")),
      Label6(m_form.Add(ControlKind::kLabel, u"Label6", {120, 1590, 1080, 255}, u"Frame2")),
      optNameByPic(m_form.Add(ControlKind::kOptionButton, u"optNameByPic", {1200, 1560, 1440, 255},
                              u"Frame2")),
      optNameBySet(m_form.Add(ControlKind::kOptionButton, u"optNameBySet", {2640, 1560, 2040, 255},
                              u"Frame2")),
      txtTitle(m_form.Add(ControlKind::kTextBox, u"txtTitle", {4680, 1530, 4320, 300}, u"Frame2")),
      txtLog(m_form.Add(ControlKind::kTextBox, u"txtLog", {120, log_top, 9120, 900})),
      ProgressBar(
          m_form.Add(ControlKind::kProgressBar, u"ProgressBar", {120, log_top + 960, 9120, 180})),
      pbFile(m_form.Add(ControlKind::kProgressBar, u"pbFile", {120, log_top + 1200, 9120, 180})),
      m_transfer(platform, {.default_path = kDefaultPath,
                            .error_action =
                                [this](const std::u16string& received) {
                                  AppendLog(kTransferError + received + kCrLf);
                                },
                            .progress = [this](double percent) { pbFile.SetValue(percent); },
                            .error_box = TransferErrorBox(platform.ui)}),
      m_texts(texts) {
  Frame1.SetText(texts.frame1);
  lstFileList.SetMultiSelect(true);
  btnAddFile.SetText(u"添加");
  btnDelFile.SetText(u"删除");
  btnDelFile.SetEnabled(false);
  btnBegin.SetText(u"开始导入");
  btnBegin.SetEnabled(false);
  btnCancel.SetText(u"取消");
  btnCancel.SetEnabled(false);
  Frame2.SetText(u"设置");
  chkSmallPic.SetText(texts.small_pic);
  chkSmallPic.SetChecked(1);
  chkStamp.SetText(texts.stamp);
  Label1.SetText(u"水印文字：");
  Label2.SetText(u"水印颜色：");
  FillDropDown(cmbColor,
               {{u"红", -65536},
                {u"蓝", -16776961},
                {u"黄", -256},
                {u"绿", -16711936},
                {u"黑", -16777216},
                {u"白", -1},
                {u"灰", -8355712}},
               0);
  Label11.SetText(u"位置：");
  Label6.SetText(u"文章标题：");
  optNameByPic.SetText(u"同图片名称");
  optNameBySet.SetText(u"统一使用设定标题");
  ProgressBar.SetVisible(false);
  pbFile.SetVisible(false);

  btnAddFile.on_click = [this] { btnAddFile_Click(); };
  btnDelFile.on_click = [this] { btnDelFile_Click(); };
  btnBegin.on_click = [this] { btnBegin_Click(); };
  btnCancel.on_click = [this] { btnCancel_Click(); };
  lstFileList.on_click = [this] { lstFileList_Click(); };
  lstFileList.on_hover_item = [this](int index) { lstFileList_HoverItem(index); };
  chkStamp.on_click = [this] { chkStamp_Click(); };
  optNameByPic.on_click = [this] { optName_Click(); };
  optNameBySet.on_click = [this] { optName_Click(); };
}

PictureBatchBase::~PictureBatchBase() {
  // The form may outlive the control in a renderer's hands: its handlers must not.
  for (const auto& child : m_form.Children()) {
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
  txtStampText.SetText(strWater);
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
  const int count = static_cast<int>(lstFileList.Items().size());
  for (int index = 0; index < count && m_running; ++index) {
    // The form's progress bars count in percent.
    ProgressBar.SetValue((index + 1) * 100.0 / count);
    const std::u16string path = lstFileList.Items().at(static_cast<size_t>(index));
    try {
      handle(path);
    } catch (const VbError& error) {
      throw VbError(error.Number(), error.Source(), path + kPathSeparator + error.Description());
    }
  }
}

std::u16string PictureBatchBase::TitleFor(const std::u16string& path) const {
  if (!Ticked(optNameByPic)) return txtTitle.Text();
  const std::u16string name = GetFileName(path);
  return ReplaceAll(name, u"." + GetFileExtension(name), u"");
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
  return ReplaceAll(m_transfer.Reply(), kClick, kClickForLarger);
}

void PictureBatchBase::PostPictureArticle(const std::u16string& title,
                                          const std::u16string& content) {
  PostFields fields = ArticleFields(Article{
      DecimalText(m_column_id), m_issue_id, m_object_type, title, content, m_user_name, {}});
  // The picture articles carry no server directory.
  std::erase_if(fields, [](const auto& field) { return field.first == u"curpath"; });
  PostForm(m_transfer, m_post_path, std::move(fields));
}

PostFields PictureBatchBase::UploadHead() const {
  return {{u"curpath", m_cur_path},
          {u"contentid", kContentId},
          {u"author", m_user_name},
          {u"thumbnail", YesNo(Ticked(chkSmallPic))}};
}

void PictureBatchBase::AddThumbnailLink(PostFields& fields) {
  fields.emplace_back(u"thumbnailalt", kClick);
  fields.emplace_back(u"thumbnailtarget", kThumbnailTarget);
}

void PictureBatchBase::AddWatermark(PostFields& fields) const {
  const bool watermark = Ticked(chkStamp);
  fields.emplace_back(u"watermark", YesNo(watermark));
  if (!watermark) return;
  fields.emplace_back(u"wmtext", txtStampText.Text());
  fields.emplace_back(u"wmposition", DecimalText(SelectedItemData(cmbPosition)));
  fields.emplace_back(u"wmcolor", DecimalText(SelectedItemData(cmbColor)));
}

bool PictureBatchBase::CheckStampText() {
  if (!txtStampText.Enabled() || !TrimSpaces(txtStampText.Text()).empty()) return true;
  ShowOptionsMessage(kEnterStampText);
  return false;
}

void PictureBatchBase::ShowOptionsMessage(const std::u16string& text) {
  m_platform.ui.MessageBox(text, msgbox::kOkOnly, kOptionsCaption);
}

int32_t PictureBatchBase::SelectedItemData(const FormControl& combo) {
  const int index = combo.ListIndex();
  if (index < 0 || index >= static_cast<int>(combo.Items().size())) Raise(err::kInvalidCall);
  return combo.ItemData(index);
}

void PictureBatchBase::FillDropDown(FormControl& combo, std::initializer_list<Entry> entries,
                                    int selected) {
  for (const auto& entry : entries) combo.AddItem(entry.text, entry.value);
  SelectEntry(combo, selected);
}

void PictureBatchBase::SelectEntry(FormControl& combo, int index) {
  combo.SetListIndex(index);
  combo.SetText(combo.Items().at(static_cast<size_t>(index)));
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
    const std::vector<std::u16string> parts = SplitAtNul(*answer);
    if (parts.size() == 1) {
      // One file: judged by the last three characters of its path.
      const std::u16string& path = parts.front();
      OfferPicture(path, LowerCase(std::u16string_view(path).substr(
                             path.size() - std::min<size_t>(3, path.size()))));
      return;
    }
    const std::u16string folder = FolderWithSeparator(parts.front());
    for (size_t i = 1; i < parts.size(); ++i) {
      // A dialog may end its answer with an empty name.
      if (parts[i].empty()) continue;
      OfferPicture(folder + parts[i], LowerCase(GetFileExtension(parts[i])));
    }
    if (lstFileList.Items().empty()) return;
    for (int i = 0; i < static_cast<int>(lstFileList.Items().size()); ++i) {
      if (lstFileList.Selected(i)) lstFileList.SetSelected(i, false);
    }
    lstFileList.SetListIndex(0);
    lstFileList.SetSelected(0, true);
    ShowPreview();
  } catch (const std::exception&) {
  }
}

void PictureBatchBase::OfferPicture(const std::u16string& path, const std::u16string& extension) {
  for (const char16_t* known : kPictureExtensions) {
    if (extension == known) {
      lstFileList.AddItem(path);
      btnDelFile.SetEnabled(true);
      btnBegin.SetEnabled(true);
      return;
    }
  }
  m_platform.ui.MessageBox(path + kUnknownFormat, msgbox::kOkOnly, u"");
}

void PictureBatchBase::btnDelFile_Click() {
  if (lstFileList.Items().empty()) return;
  for (int i = static_cast<int>(lstFileList.Items().size()) - 1; i >= 0; --i) {
    if (lstFileList.Selected(i)) lstFileList.RemoveItem(i);
  }
  if (lstFileList.Items().empty()) {
    btnDelFile.SetEnabled(false);
    btnBegin.SetEnabled(false);
  }
}

void PictureBatchBase::lstFileList_Click() {
  ShowPreview();
}

void PictureBatchBase::ShowPreview() {
  const int index = lstFileList.ListIndex();
  if (index < 0) return;
  const std::u16string path = lstFileList.Items().at(static_cast<size_t>(index));
  // Decoding the whole picture proves it can be shown; a damaged one leaves the preview as it was.
  const Picture picture = LoadPicture(path);
  imgPreview.SetPicture(path);
  lblImgName.SetText(GetFileName(path) + kCrLf + DecimalText(picture.size.width) + kSizeSign +
                     DecimalText(picture.size.height));
}

void PictureBatchBase::lstFileList_HoverItem(int index) {
  const auto& items = lstFileList.Items();
  lstFileList.SetToolTip(index >= 0 && index < static_cast<int>(items.size())
                             ? items[static_cast<size_t>(index)]
                             : std::u16string());
}

void PictureBatchBase::chkStamp_Click() {
  const bool on = Ticked(chkStamp);
  for (FormControl* control :
       {&txtStampText, &Label1, &Label2, &cmbColor, &cmbPosition, &Label11}) {
    control->SetEnabled(on);
  }
}

void PictureBatchBase::optName_Click() {
  txtTitle.SetEnabled(Ticked(optNameBySet));
}

void PictureBatchBase::btnCancel_Click() {
  // The picture in hand is finished first: the batch looks at m_running between pictures.
  m_running = false;
  btnBegin.SetEnabled(true);
  btnCancel.SetEnabled(false);
  pbFile.SetVisible(false);
}

void PictureBatchBase::btnBegin_Click() {
  // A cancelled batch still finishing its picture owns the socket, the package and the tick
  // counter until it is done: a second one must not start inside it.
  if (m_in_batch) return;
  if (m_platform.ui.MessageBox(kConfirm, msgbox::kYesNo, kConfirmCaption) == msgbox::kYes) {
    if (lstFileList.Items().empty()) return;
    ShowRunning();
    if (ValidateOptions()) {
      ScopedFlag in_batch(m_in_batch);
      m_running = true;
      AppendLog(m_texts.start_line + std::u16string(kCrLf));
      try {
        RunPictures();
        AppendLog(std::u16string(kAllDone) + kCrLf);
        lstFileList.Clear();
      } catch (...) {
        // The list keeps its entries, so nothing is lost; the log says what went wrong.
        RecordFailure();
      }
      m_running = false;
    }
  }
  ReturnToRest();
}

// --- The form during a batch ----------------------------------------------------------------

void PictureBatchBase::AppendLog(const std::u16string& text) {
  txtLog.SetText(txtLog.Text() + text);
}

void PictureBatchBase::ShowRunning() {
  txtLog.SetText(u"");
  btnAddFile.SetEnabled(false);
  btnDelFile.SetEnabled(false);
  btnBegin.SetEnabled(false);
  btnCancel.SetEnabled(true);
  ProgressBar.SetValue(0);
  ProgressBar.SetVisible(true);
  pbFile.SetVisible(true);
}

void PictureBatchBase::RecordFailure() {
  try {
    throw;
  } catch (const VbError& error) {
    m_last_error = {error.Number(), error.Source(), error.Description()};
  } catch (const std::bad_alloc&) {
    m_last_error = {err::kOutOfMemory, kLibrarySource, DefaultDescription(err::kOutOfMemory)};
  } catch (const std::exception& error) {
    m_last_error = {err::kInvalidCall, kLibrarySource, codepage::FromUtf8(error.what())};
  } catch (...) {
    m_last_error = {err::kInvalidCall, kLibrarySource, DefaultDescription(err::kInvalidCall)};
  }
}

void PictureBatchBase::ReturnToRest() {
  if (m_last_error.number != 0) {
    // A picture cut short leaves its log line open: the error starts on a line of its own.
    const std::u16string& log = txtLog.Text();
    if (!log.empty() && !log.ends_with(kCrLf)) AppendLog(kCrLf);
    AppendLog(kSystemError + std::u16string(kCrLf) + u"(" + DecimalText(m_last_error.number) +
              u")[" + m_last_error.source + u"]" + m_last_error.description + u";" + kCrLf);
    m_last_error = {};
  }
  btnAddFile.SetEnabled(true);
  btnDelFile.SetEnabled(true);
  ProgressBar.SetVisible(false);
  btnBegin.SetEnabled(true);
  btnCancel.SetEnabled(false);
  pbFile.SetVisible(false);
}

}  // namespace velmaris
