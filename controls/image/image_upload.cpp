#include "controls/image/image_upload.h"

namespace velmaris {

namespace {

using enum ControlKind;

constexpr ListEntry kStampPositions[] = {
    {u"左上", 1}, {u"居中", 16}, {u"右下", 256}, {u"左上右下", 8}, {u"左下右上", 24}};
constexpr ListEntry kPicturePositions[] = {{u"左上", 1}, {u"右上", 2}, {u"左下", 4}, {u"右下", 5}};

// The picture watermark's row, below the text watermark.
constexpr ControlRow kOwnRows[] = {
    {kCheckBox, u"chkImgStamp", {120, 1140, 1440, 255}, u"Frame2", u"加图片水印"},
    {kLabel, u"Label4", {1680, 1170, 600, 255}, u"Frame2", u"位置："},
    {kComboBox,
     u"cmbPos",
     {2280, 1110, 1080, 300},
     u"Frame2",
     u"",
     row::kDisabled,
     kPicturePositions,
     3},
    {kLabel,
     u"Label3",
     {3480, 1170, 5520, 255},
     u"Frame2",
     u"水印图片请上传到/cms/images/watermark/，文件名：watermark1.gif"},
};

constexpr PictureFormLayout kLayout{.form = u"ImageUpload",
                                    .frame1 = u"准备要导入的图片",
                                    .small_pic = u"缩略",
                                    .stamp = u"加文字水印",
                                    .stamp_ticked = true,
                                    .title_by_picture = false,
                                    .positions = kStampPositions,
                                    .position = 3,
                                    .log_top = 5280,
                                    .own_rows = kOwnRows};

}  // namespace

ImageUpload::ImageUpload(Platform& platform)
    : PictureBatchBase(platform, kLayout, u"开始处理图片上传："),
      chkImgStamp(OwnControl(u"chkImgStamp")),
      cmbPos(OwnControl(u"cmbPos")) {
  chkImgStamp.on_click = [this] { chkImgStamp_Click(); };
}

PostFields ImageUpload::UploadFields() const {
  return ImageUploadFields(UploadHead(), Options(),
                           {.on = chkImgStamp.Checked() == 1, .position = SelectedValue(cmbPos)});
}

// Every picture becomes an article of its own: its upload's reply, with the page separator after
// it, posted at once under the picture's title.
void ImageUpload::RunPictures() {
  ForEachPicture([this](const std::u16string& path) {
    const std::u16string title = TitleFor(path);
    FillPackage(UploadFields());
    UploadPicture(path);
    PostPictureArticle(title, ReplyFragment() + kPageSeparator);
    Pump();
  });
}

void ImageUpload::chkImgStamp_Click() {
  cmbPos.SetEnabled(chkImgStamp.Checked() == 1);
}

}  // namespace velmaris
