#include "controls/image/image_upload.h"

#include "base/text.h"

namespace velmaris {

ImageUpload::ImageUpload(Platform& platform)
    : PictureBatchBase(
          platform,
          Texts{u"ImageUpload", u"准备要导入的图片", u"缩略", u"加文字水印", u"开始处理图片上传："},
          5280),
      chkImgStamp(
          m_form.Add(ControlKind::kCheckBox, u"chkImgStamp", {120, 1140, 1440, 255}, u"Frame2")),
      Label4(m_form.Add(ControlKind::kLabel, u"Label4", {1680, 1170, 600, 255}, u"Frame2")),
      cmbPos(m_form.Add(ControlKind::kComboBox, u"cmbPos", {2280, 1110, 1080, 300}, u"Frame2")),
      Label3(m_form.Add(ControlKind::kLabel, u"Label3", {3480, 1170, 5520, 255}, u"Frame2")) {
  chkStamp.SetChecked(1);
  FillDropDown(cmbPosition,
               {{u"左上", 1}, {u"居中", 16}, {u"右下", 256}, {u"左上右下", 8}, {u"左下右上", 24}},
               3);
  chkImgStamp.SetText(u"加图片水印");
  Label4.SetText(u"位置：");
  FillDropDown(cmbPos, {{u"左上", 1}, {u"右上", 2}, {u"左下", 4}, {u"右下", 5}}, 3);
  cmbPos.SetEnabled(false);
  Label3.SetText(u"水印图片请上传到/cms/images/watermark/，文件名：watermark1.gif");
  optNameBySet.SetChecked(1);

  chkImgStamp.on_click = [this] { chkImgStamp_Click(); };
}

PostFields ImageUpload::UploadFields() const {
  PostFields fields = UploadHead();
  if (Ticked(chkSmallPic)) AddThumbnailLink(fields);
  AddWatermark(fields);
  const bool stamp = Ticked(chkImgStamp);
  fields.emplace_back(u"imgstamp", YesNo(stamp));
  if (stamp) fields.emplace_back(u"imgstamppos", DecimalText(SelectedItemData(cmbPos)));
  return fields;
}

bool ImageUpload::ValidateOptions() {
  return CheckStampText();
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
  cmbPos.SetEnabled(Ticked(chkImgStamp));
}

}  // namespace velmaris
