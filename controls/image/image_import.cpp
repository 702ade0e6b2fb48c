#include "controls/image/image_import.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "controls/common/plain_text.h"

namespace velmaris {

namespace {

constexpr char16_t kSource[] = u"ImageImport";
constexpr char16_t kEnterDigits[] = u"请输入半角数字";
constexpr char16_t kNoProportion[] = u"图片的宽度或高度为 0，无法按比例计算尺寸";

// The scale list: three typed sizes, then shares of the picture's own size.
struct Scale {
  const char16_t* text;
  double factor;
};
constexpr Scale kScales[] = {
    {u"指定高度和宽度", 0},
    {u"指定宽度，约束比例", 0},
    {u"指定高度，约束比例", 0},
    {u"80%", 0.8},
    {u"70%", 0.7},
    {u"60%", 0.6},
    {u"50%", 0.5},
    {u"40%", 0.4},
    {u"30%", 0.3},
    {u"25%", 0.25},
    {u"20%", 0.2},
    {u"10%", 0.1},
};
constexpr int kTypedSize = 0;
constexpr int kTypedWidth = 1;
constexpr int kTypedHeight = 2;
constexpr int kHalf = 6;

// What a size box may hold.
constexpr size_t kSizeBoxLength = 6;

constexpr char16_t kPictureOpen[] = u"<p align=center>";
constexpr char16_t kCaptionOpen[] = u"</p><P align=center>";
constexpr char16_t kCaptionClose[] = u"</P>";

// The whole number a size box holds, as a 16-bit integer: 13 when it is not a number, 6 when it
// is out of range.
int32_t BoxNumber(const FormControl& box) {
  return WholeNumber(box.Text(), INT16_MIN, INT16_MAX);
}

int32_t Rounded(double value) {
  return WholeNumber(value, INT32_MIN, INT32_MAX);
}

}  // namespace

ImageImport::ImageImport(Platform& platform)
    : PictureBatchBase(
          platform,
          Texts{u"ImageImport", u"准备要导入的文件", u"缩小尺寸", u"加水印", u"开始上传图片："},
          6000),
      Frame3(m_form.Add(ControlKind::kFrame, u"Frame3", {120, 5280, 9120, 600})),
      opOnePic(
          m_form.Add(ControlKind::kOptionButton, u"opOnePic", {120, 240, 2640, 255}, u"Frame3")),
      opOneCPagging(m_form.Add(ControlKind::kOptionButton, u"opOneCPagging", {2880, 240, 2640, 255},
                               u"Frame3")),
      opOneC(m_form.Add(ControlKind::kOptionButton, u"opOneC", {5640, 240, 3360, 255}, u"Frame3")),
      Label3(m_form.Add(ControlKind::kLabel, u"Label3", {1440, 330, 600, 255}, u"Frame2")),
      cmbScale(m_form.Add(ControlKind::kComboBox, u"cmbScale", {2040, 270, 1800, 300}, u"Frame2")),
      Label5(m_form.Add(ControlKind::kLabel, u"Label5", {3960, 330, 600, 255}, u"Frame2")),
      txtWidth(m_form.Add(ControlKind::kTextBox, u"txtWidth", {4560, 270, 720, 300}, u"Frame2")),
      Label8(m_form.Add(ControlKind::kLabel, u"Label8", {5340, 330, 600, 255}, u"Frame2")),
      Label4(m_form.Add(ControlKind::kLabel, u"Label4", {6060, 330, 600, 255}, u"Frame2")),
      txtHeight(m_form.Add(ControlKind::kTextBox, u"txtHeight", {6660, 270, 720, 300}, u"Frame2")),
      Label7(m_form.Add(ControlKind::kLabel, u"Label7", {7440, 330, 600, 255}, u"Frame2")) {
  Frame3.SetText(u"处理方式");
  opOnePic.SetText(u"一张图片生成一篇文章");
  opOneCPagging.SetText(u"一篇文章，每页一张图");
  opOneC.SetText(u"所有图片在同一篇文章中，不分页");
  opOneC.SetChecked(1);
  Label3.SetText(u"比例：");
  for (const auto& scale : kScales) cmbScale.AddItem(scale.text);
  Label5.SetText(u"宽度：");
  txtWidth.SetText(u"160");
  Label8.SetText(u"(像素)");
  Label4.SetText(u"高度：");
  txtHeight.SetText(u"120");
  Label7.SetText(u"(像素)");
  SelectEntry(cmbScale, kHalf);
  cmbScale_Click();
  chkStamp.SetChecked(0);
  chkStamp_Click();
  FillDropDown(cmbPosition, {{u"左上", 1}, {u"居中", 16}, {u"右下", 256}}, 0);
  // The title box stays enabled until either title option is clicked.
  optNameByPic.SetChecked(1);

  chkSmallPic.on_click = [this] { chkSmallPic_Click(); };
  cmbScale.on_click = [this] { cmbScale_Click(); };
  for (FormControl* box : {&txtWidth, &txtHeight}) {
    box->on_change = [box] {
      if (box->Text().size() > kSizeBoxLength) box->SetText(box->Text().substr(0, kSizeBoxLength));
    };
  }
}

PictureSize ImageImport::SizeToAskFor(PictureSize picture) const {
  // The selected entry is recognised by its text.
  const int selected = cmbScale.ListIndex();
  const std::u16string entry =
      selected >= 0 ? cmbScale.Items().at(static_cast<size_t>(selected)) : std::u16string();
  const auto found = std::find_if(std::begin(kScales), std::end(kScales),
                                  [&](const Scale& scale) { return entry == scale.text; });
  if (found == std::end(kScales)) Raise(err::kInvalidCall);
  const int scale = static_cast<int>(found - std::begin(kScales));
  const bool proportional = scale == kTypedWidth || scale == kTypedHeight;
  if (proportional && (picture.width == 0 || picture.height == 0)) {
    Raise(err::kInvalidCall, kSource, kNoProportion);
  }
  switch (scale) {
    case kTypedSize:
      return {BoxNumber(txtWidth), BoxNumber(txtHeight)};
    case kTypedWidth: {
      // The picture keeps its proportions.
      const int32_t width = BoxNumber(txtWidth);
      return {width, Rounded(static_cast<double>(width) / picture.width * picture.height)};
    }
    case kTypedHeight: {
      const int32_t height = BoxNumber(txtHeight);
      return {Rounded(static_cast<double>(height) / picture.height * picture.width), height};
    }
    default: {
      const double factor = kScales[scale].factor;
      return {Rounded(picture.width * factor), Rounded(picture.height * factor)};
    }
  }
}

PostFields ImageImport::UploadFields(PictureSize asked) const {
  PostFields fields = UploadHead();
  if (Ticked(chkSmallPic)) {
    // The size always goes as a width and a height, never as a ratio.
    fields.emplace_back(u"bili", u"-1");
    fields.emplace_back(u"thumbnailwidth", DecimalText(asked.width));
    fields.emplace_back(u"thumbnailheight", DecimalText(asked.height));
    AddThumbnailLink(fields);
  }
  AddWatermark(fields);
  return fields;
}

bool ImageImport::ValidateOptions() {
  if (cmbScale.ListIndex() == kTypedSize && cmbScale.Enabled()) {
    for (const FormControl* box : {&txtWidth, &txtHeight}) {
      if (!IsNumericText(box->Text())) {
        ShowOptionsMessage(kEnterDigits);
        return false;
      }
    }
  }
  return CheckStampText();
}

// Each picture is measured, sized by the scale list and uploaded; the article mode decides whether
// its reply is posted at once or gathered into the one article posted after the last picture (also
// after a cancel, with the pictures handled so far).
void ImageImport::RunPictures() {
  std::u16string content;
  std::u16string title;
  bool handled = false;
  ForEachPicture([&](const std::u16string& path) {
    title = TitleFor(path);
    const PictureSize picture = LoadPictureSize(path);
    const PictureSize asked = Ticked(chkSmallPic) ? SizeToAskFor(picture) : PictureSize{};
    FillPackage(UploadFields(asked));
    UploadPicture(path);
    const std::u16string fragment = ReplyFragment();
    if (Ticked(opOnePic)) {
      content = fragment + kPageSeparator;
      PostPictureArticle(title, content);
    } else if (Ticked(opOneCPagging)) {
      content += fragment + kPageSeparator;
    } else if (Ticked(opOneC)) {
      content += kPictureOpen + fragment + kCaptionOpen + title + kCaptionClose;
    }
    handled = true;
    Pump();
    Pump();
  });
  if (!handled || !(Ticked(opOneCPagging) || Ticked(opOneC))) return;
  if (Ticked(opOneC)) content += kPageSeparator;
  PostPictureArticle(title, content);
}

void ImageImport::chkSmallPic_Click() {
  const bool on = Ticked(chkSmallPic);
  for (FormControl* control :
       {&cmbScale, &txtWidth, &txtHeight, &Label3, &Label4, &Label5, &Label7, &Label8}) {
    control->SetEnabled(on);
  }
  // Of the two size boxes only those the selected scale reads are open.
  if (on) cmbScale_Click();
}

void ImageImport::cmbScale_Click() {
  const int index = cmbScale.ListIndex();
  txtWidth.SetEnabled(index == kTypedSize || index == kTypedWidth);
  txtHeight.SetEnabled(index == kTypedSize || index == kTypedHeight);
}

}  // namespace velmaris
