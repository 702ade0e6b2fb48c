#include "controls/image/image_import.h"

#include <string>

namespace velmaris {

namespace {

using enum ControlKind;

constexpr ListEntry kStampPositions[] = {{u"左上", 1}, {u"居中", 16}, {u"右下", 256}};

// What a size box may hold.
constexpr size_t kSizeBoxLength = 6;

constexpr char16_t kPictureOpen[] = u"<p align=center>";
constexpr char16_t kCaptionOpen[] = u"</p><P align=center>";
constexpr char16_t kCaptionClose[] = u"</P>";

// The article modes below the options, and the reduced size beside the thumbnail box. The size
// boxes start closed: the scale list starts on a share of the picture's own size.
const ControlRow kOwnRows[] = {
    {kFrame, u"Frame3", {120, 5280, 9120, 600}, u"", u"处理方式"},
    {kOptionButton, u"opOnePic", {120, 240, 2640, 255}, u"Frame3", u"一张图片生成一篇文章"},
    {kOptionButton, u"opOneCPagging", {2880, 240, 2640, 255}, u"Frame3", u"一篇文章，每页一张图"},
    {kOptionButton,
     u"opOneC",
     {5640, 240, 3360, 255},
     u"Frame3",
     u"所有图片在同一篇文章中，不分页",
     row::kTicked},
    {kLabel, u"Label3", {1440, 330, 600, 255}, u"Frame2", u"比例："},
    {kComboBox, u"cmbScale", {2040, 270, 1800, 300}, u"Frame2", u"", 0, ScaleEntries(), kHalfScale},
    {kLabel, u"Label5", {3960, 330, 600, 255}, u"Frame2", u"宽度："},
    {kTextBox, u"txtWidth", {4560, 270, 720, 300}, u"Frame2", u"160", row::kDisabled},
    {kLabel, u"Label8", {5340, 330, 600, 255}, u"Frame2", u"(像素)"},
    {kLabel, u"Label4", {6060, 330, 600, 255}, u"Frame2", u"高度："},
    {kTextBox, u"txtHeight", {6660, 270, 720, 300}, u"Frame2", u"120", row::kDisabled},
    {kLabel, u"Label7", {7440, 330, 600, 255}, u"Frame2", u"(像素)"},
};

// The text watermark starts unticked, so its text, colour and position start closed. The title
// box stays enabled until either title option is clicked.
const PictureFormLayout kLayout{.form = u"ImageImport",
                                .frame1 = u"准备要导入的文件",
                                .small_pic = u"缩小尺寸",
                                .stamp = u"加水印",
                                .stamp_ticked = false,
                                .title_by_picture = true,
                                .positions = kStampPositions,
                                .position = 0,
                                .log_top = 6000,
                                .own_rows = kOwnRows};

// What the reduced size's box opens and closes, beside the size boxes the scale reads.
constexpr const char16_t* kSizeOptions[] = {u"cmbScale", u"txtWidth", u"txtHeight", u"Label3",
                                            u"Label4",   u"Label5",   u"Label7",    u"Label8"};

}  // namespace

ImageImport::ImageImport(Platform& platform)
    : PictureBatchBase(platform, kLayout, u"开始上传图片："),
      opOnePic(OwnControl(u"opOnePic")),
      opOneCPagging(OwnControl(u"opOneCPagging")),
      opOneC(OwnControl(u"opOneC")),
      cmbScale(OwnControl(u"cmbScale")),
      txtWidth(OwnControl(u"txtWidth")),
      txtHeight(OwnControl(u"txtHeight")) {
  cmbScale.on_click = [this] { cmbScale_Click(); };
  for (FormControl* box : {&txtWidth, &txtHeight}) {
    box->on_change = [box] {
      if (box->Text().size() > kSizeBoxLength) box->SetText(box->Text().substr(0, kSizeBoxLength));
    };
  }
}

ScaleOptions ImageImport::Scale() const {
  const int selected = cmbScale.ListIndex();
  return {.index = selected,
          .entry =
              selected >= 0 ? cmbScale.Items().at(static_cast<size_t>(selected)) : std::u16string(),
          .open = cmbScale.Enabled(),
          .width = txtWidth.Text(),
          .height = txtHeight.Text()};
}

PictureSize ImageImport::SizeToAskFor(PictureSize picture) const {
  return velmaris::SizeToAskFor(Scale(), picture);
}

PostFields ImageImport::UploadFields(PictureSize asked) const {
  return ImageImportFields(UploadHead(), Options(), asked);
}

const char16_t* ImageImport::OptionsProblem() const {
  if (const char16_t* problem = SizeBoxProblem(Scale())) return problem;
  return PictureBatchBase::OptionsProblem();
}

// Each picture is measured, sized by the scale list and uploaded; the article mode decides whether
// its reply is posted at once or gathered into the one article posted after the last picture (also
// after a cancel, with the pictures handled so far).
void ImageImport::RunPictures() {
  auto chosen = [](const FormControl& option) { return option.Checked() == 1; };
  std::u16string content;
  std::u16string title;
  bool handled = false;
  ForEachPicture([&](const std::u16string& path) {
    title = TitleFor(path);
    const PictureSize picture = LoadPictureSize(path);
    const PictureSize asked = Options().thumbnail ? SizeToAskFor(picture) : PictureSize{};
    FillPackage(UploadFields(asked));
    UploadPicture(path);
    const std::u16string fragment = ReplyFragment();
    if (chosen(opOnePic)) {
      content = fragment + kPageSeparator;
      PostPictureArticle(title, content);
    } else if (chosen(opOneCPagging)) {
      content += fragment + kPageSeparator;
    } else if (chosen(opOneC)) {
      content += kPictureOpen + fragment + kCaptionOpen + title + kCaptionClose;
    }
    handled = true;
    Pump();
    Pump();
  });
  if (!handled || !(chosen(opOneCPagging) || chosen(opOneC))) return;
  if (chosen(opOneC)) content += kPageSeparator;
  PostPictureArticle(title, content);
}

void ImageImport::ThumbnailClicked(bool ticked) {
  for (const char16_t* name : kSizeOptions) OwnControl(name).SetEnabled(ticked);
  // Of the two size boxes only those the selected scale reads are open.
  if (ticked) cmbScale_Click();
}

void ImageImport::cmbScale_Click() {
  const SizeBoxes read = SizeBoxesRead(cmbScale.ListIndex());
  txtWidth.SetEnabled(read.width);
  txtHeight.SetEnabled(read.height);
}

}  // namespace velmaris
