// ImageImport: sends a batch of pictures to the content server, each with the reduced size and
// text watermark the editor chose, and turns the server's replies into articles: one per picture,
// one with a page per picture, or one holding every picture on one page. The page calls Init
// once; the user lists pictures and presses "开始导入".
#pragma once

#include "controls/image/picture_batch_base.h"
#include "platform/picture.h"

namespace velmaris {

class ImageImport : public PictureBatchBase {
 public:
  explicit ImageImport(Platform& platform);

  // The size to ask the server for, for a picture of `picture` pixels, by the selected entry of
  // the scale list. Raises 13 or 6 when a size box it reads holds no 16-bit whole number, and 5
  // when a proportional mode meets a picture with no width or height.
  PictureSize SizeToAskFor(PictureSize picture) const;
  // The upload fields of the next picture, from the options as they stand; `asked` is sent when
  // a reduced size is ticked.
  PostFields UploadFields(PictureSize asked) const;

 private:
  const char16_t* OptionsProblem() const override;
  void RunPictures() override;
  void ThumbnailClicked(bool ticked) override;

  void cmbScale_Click();
  // The reduced size's options as they stand.
  ScaleOptions Scale() const;

  FormControl& opOnePic;
  FormControl& opOneCPagging;
  FormControl& opOneC;
  FormControl& cmbScale;
  FormControl& txtWidth;
  FormControl& txtHeight;
};

}  // namespace velmaris
