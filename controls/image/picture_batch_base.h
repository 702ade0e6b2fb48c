// What the two picture controls share: the list of pictures with its dialog, preview and tooltip,
// the watermark and title options both forms carry, Init, addFormData, StartUpload, and the frame
// of a batch (confirmation, running state, the loop over the list, closing line, last error, rest).
// Each control adds its own options, its validation and what it sends for every picture.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "controls/common/article_context.h"
#include "controls/common/article_post.h"
#include "core/upload_transfer.h"
#include "platform/forms.h"
#include "platform/platform.h"

namespace velmaris {

class PictureBatchBase : public ArticleContext {
 public:
  virtual ~PictureBatchBase();
  PictureBatchBase(const PictureBatchBase&) = delete;
  PictureBatchBase& operator=(const PictureBatchBase&) = delete;

  // Takes the post address first and the upload address last: host and port are the upload
  // address's, of the post address only its path is kept. strWater becomes the watermark text.
  void Init(const std::u16string& UploadUrl, const std::u16string& PostUrl,
            const std::u16string& strPath, int32_t pColumnid, const std::u16string& pUserName,
            const std::u16string& strWater, int32_t pIssueid = 0, int32_t pObjectType = 1);
  void addFormData(const std::u16string& p_FormDataName, const std::u16string& p_FormDataValue);
  // Adds the file to the package as it stands (it is not emptied first), sends it and waits for
  // the reply, which is kept in Reply(). A missing file raises before anything is sent.
  void StartUpload(const std::u16string& localfile);

  Form& GetForm() { return m_form; }
  UploadTransfer& Transfer() { return m_transfer; }
  const std::u16string& Reply() const { return m_transfer.Reply(); }

  // The context Init set: PostPath(), CurPath(), ColumnId(), IssueId(), UserName(), ObjectType().
  // A batch may go on to its next picture.
  bool Running() const { return m_running; }
  // The start button's handler is on the stack (a cancelled batch may still finish its picture).
  bool InBatch() const { return m_in_batch; }

 protected:
  // Captions and the log line that differ between the two forms.
  struct Texts {
    const char16_t* form;        // the form's own name
    const char16_t* frame1;      // caption of the list's frame
    const char16_t* small_pic;   // caption of chkSmallPic
    const char16_t* stamp;       // caption of chkStamp
    const char16_t* start_line;  // first line of a batch's log, without its line break
  };

  // `log_top`: where the log box starts; the rows above it are the control's own.
  PictureBatchBase(Platform& platform, const Texts& texts, int log_top);

  // The control's checks before a batch; false after it told the user what is wrong.
  virtual bool ValidateOptions() = 0;
  // The batch proper, once it is confirmed and validated: every picture through ForEachPicture,
  // then whatever the control posts at the end. A failure raised here ends the batch.
  virtual void RunPictures() = 0;

  // Calls `handle` with each entry of the list, in order, while the batch has not been cancelled;
  // the overall progress bar follows. A failure while handling an entry is raised again with the
  // entry's path in front of its description, so the log names the picture.
  void ForEachPicture(const std::function<void(const std::u16string& path)>& handle);
  // The article title of a picture: its file name without ".extension" (every occurrence), or
  // the common title, by the title option.
  std::u16string TitleFor(const std::u16string& path) const;
  // Empties the package and adds `fields` in order through addFormData.
  void FillPackage(const PostFields& fields);
  // Logs "上传 path", uploads the picture with the fields already in the package, logs "完成！".
  // An upload the server did not take raises kNotAccepted, which ends the batch.
  void UploadPicture(const std::u16string& path);
  // StartUpload's upload, for the batch's own steps too.
  void SendPicture(const std::u16string& localfile);
  // The last reply with every "Click" turned into "点击看大图".
  std::u16string ReplyFragment() const;
  // Posts one article ("columnid", "issueid", "objecttype", "title", "content", "author") to the
  // post path on the upload host.
  void PostPictureArticle(const std::u16string& title, const std::u16string& content);

  // The fields every picture upload starts with: "curpath", "contentid", "author", "thumbnail".
  PostFields UploadHead() const;
  // "thumbnailalt" and "thumbnailtarget", sent with a thumbnail.
  static void AddThumbnailLink(PostFields& fields);
  // "watermark" and, when it is ticked, "wmtext", "wmposition" and "wmcolor".
  void AddWatermark(PostFields& fields) const;
  // Shows "请输入水印文字" and returns false when the watermark text is wanted but blank.
  bool CheckStampText();
  // Shows `text` as the options' message (OK button, caption "导入图片").
  void ShowOptionsMessage(const std::u16string& text);

  static bool Ticked(const FormControl& box) { return box.Checked() == 1; }
  static std::u16string YesNo(bool yes) { return yes ? u"Yes" : u"No"; }
  // The item value of a drop-down's selected entry; raises 5 when none is selected.
  static int32_t SelectedItemData(const FormControl& combo);
  // Fills a drop-down with entries and their item values and selects entry `selected`.
  struct Entry {
    const char16_t* text;
    int32_t value;
  };
  static void FillDropDown(FormControl& combo, std::initializer_list<Entry> entries, int selected);
  // Selects entry `index` of a drop-down and shows it as its text.
  static void SelectEntry(FormControl& combo, int index);

  // Enables the watermark's text, colour and position exactly when chkStamp is ticked.
  void chkStamp_Click();

  void Pump() { m_platform.loop.Pump(); }

  Platform& m_platform;
  Form m_form;
  FormControl& Frame1;
  FormControl& lstFileList;
  FormControl& btnAddFile;
  FormControl& btnDelFile;
  FormControl& btnBegin;
  FormControl& btnCancel;
  FormControl& Picture1;
  FormControl& imgPreview;
  FormControl& lblImgName;
  FormControl& Frame2;
  FormControl& chkSmallPic;
  FormControl& chkStamp;
  FormControl& Label1;
  FormControl& txtStampText;
  FormControl& Label2;
  FormControl& cmbColor;
  FormControl& Label11;
  FormControl& cmbPosition;
  FormControl& Label6;
  FormControl& optNameByPic;
  FormControl& optNameBySet;
  FormControl& txtTitle;
  FormControl& txtLog;
  FormControl& ProgressBar;
  FormControl& pbFile;
  UploadTransfer m_transfer;

  bool m_running = false;

 private:
  // A failure that ended a batch, kept until the log has shown it.
  struct LastError {
    int32_t number = 0;
    std::u16string source;
    std::u16string description;
  };

  // Handlers.
  void btnAddFile_Click();
  void btnDelFile_Click();
  void btnBegin_Click();
  void btnCancel_Click();
  void lstFileList_Click();
  void lstFileList_HoverItem(int index);
  void optName_Click();

  // Adds a chosen picture when its extension is one the controls take, else says why not.
  void OfferPicture(const std::u16string& path, const std::u16string& extension);
  void ShowPreview();
  void AppendLog(const std::u16string& text);
  void ShowRunning();
  void RecordFailure();
  void ReturnToRest();

  const Texts m_texts;
  bool m_in_batch = false;
  LastError m_last_error;
};

}  // namespace velmaris
