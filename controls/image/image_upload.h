// ImageUpload: sends a batch of pictures to the content server, each with the thumbnail, text
// watermark and picture watermark the editor chose, and posts one article per picture made from
// the server's reply. The page calls Init once; the user lists pictures and presses "开始导入".
#pragma once

#include "controls/image/picture_batch_base.h"

namespace velmaris {

class ImageUpload : public PictureBatchBase {
 public:
  explicit ImageUpload(Platform& platform);

  // The upload fields of the next picture, from the options as they stand.
  PostFields UploadFields() const;

 private:
  void RunPictures() override;

  void chkImgStamp_Click();

  FormControl& chkImgStamp;
  FormControl& cmbPos;
};

}  // namespace velmaris
