// What the two picture controls share: the list of pictures with its dialog, preview and tooltip,
// the watermark and title options both forms carry, Init, addFormData, StartUpload, and the frame
// of a batch (confirmation, running state, the loop over the list, closing line, last error, rest).
// Each control adds its own options, its validation and what it sends for every picture.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "controls/common/article_context.h"
#include "controls/common/article_post.h"
#include "controls/image/picture_batch_form.h"
#include "controls/image/picture_options.h"
#include "core/upload_transfer.h"
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

  Form& GetForm() { return m_form.form; }
  UploadTransfer& Transfer() { return m_transfer; }
  const std::u16string& Reply() const { return m_transfer.Reply(); }

  // The context Init set: PostPath(), CurPath(), ColumnId(), IssueId(), UserName(), ObjectType().
  // A batch may go on to its next picture.
  bool Running() const { return m_running; }
  // The start button's handler is on the stack (a cancelled batch may still finish its picture).
  bool InBatch() const { return m_in_batch; }

 protected:
  // `start_line`: the first line of a batch's log, without its line break.
  PictureBatchBase(Platform& platform, const PictureFormLayout& layout, const char16_t* start_line);

  // What the options' message says before a batch, null when the options will do. The shared
  // options are checked here; a control with options of its own checks them first.
  virtual const char16_t* OptionsProblem() const;
  // The batch proper, once it is confirmed and the options will do: every picture through
  // ForEachPicture, then whatever the control posts at the end. A failure raised here ends the
  // batch.
  virtual void RunPictures() = 0;
  // chkSmallPic was clicked; `ticked` is its new state.
  virtual void ThumbnailClicked(bool /*ticked*/) {}

  // The shared options as they stand, and one of the control's own controls.
  PictureOptions Options() const { return m_form.Options(); }
  FormControl& OwnControl(std::u16string_view name) const { return m_form.Own(name); }

  // Calls `handle` with each entry of the list, in order, while the batch has not been cancelled;
  // the overall progress bar follows. A failure while handling an entry is raised again with the
  // entry's path in front of its description, so the log names the picture.
  void ForEachPicture(const std::function<void(const std::u16string& path)>& handle);
  // The article title of a picture, by the title option.
  std::u16string TitleFor(const std::u16string& path) const;
  // The fields every picture upload starts with, from the context and the options.
  PostFields UploadHead() const;
  // Empties the package and adds `fields` in order through addFormData.
  void FillPackage(const PostFields& fields);
  // Logs "上传 path", uploads the picture with the fields already in the package, logs "完成！".
  // An upload the server did not take raises kNotAccepted, which ends the batch.
  void UploadPicture(const std::u16string& path);
  // The last reply as the picture's part of an article.
  std::u16string ReplyFragment() const;
  // Posts one article ("columnid", "issueid", "objecttype", "title", "content", "author") to the
  // post path on the upload host.
  void PostPictureArticle(const std::u16string& title, const std::u16string& content);

  void Pump() { m_platform.loop.Pump(); }

 private:
  // StartUpload's upload, for the batch's own steps too.
  void SendPicture(const std::u16string& localfile);

  // Handlers.
  void btnAddFile_Click();
  void btnDelFile_Click();
  void btnBegin_Click();
  void btnCancel_Click();
  void lstFileList_Click();
  void chkStamp_Click();
  void optName_Click();

  // Adds a chosen file when it is a picture the controls take, else says why not; `alone`: the
  // dialog answered it alone.
  void OfferPicture(const std::u16string& path, bool alone);
  void ShowPreview();
  void AppendLog(const std::u16string& text);
  void ShowRunning();
  void ReturnToRest();

  Platform& m_platform;
  PictureBatchForm m_form;
  UploadTransfer m_transfer;
  const char16_t* const m_start_line;
  bool m_running = false;
  bool m_in_batch = false;
  // A failure that ended a batch, kept until the log has shown it.
  ErrorTriple m_last_error;
};

}  // namespace velmaris
