#include "controls/image/picture_batch_form.h"

#include <stdexcept>
#include <vector>

#include "base/codepage.h"

namespace velmaris {

namespace {

using enum ControlKind;

constexpr ListEntry kColors[] = {
    {u"红", -65536},    {u"蓝", -16776961}, {u"黄", -256},     {u"绿", -16711936},
    {u"黑", -16777216}, {u"白", -1},        {u"灰", -8355712},
};

std::vector<ControlRow> SharedRows(const PictureFormLayout& layout) {
  const unsigned stamp = layout.stamp_ticked ? row::kTicked : 0;
  const unsigned stamp_option = layout.stamp_ticked ? 0 : row::kDisabled;
  const int log = layout.log_top;
  return {
      {kFrame, u"Frame1", {120, 120, 5400, 2880}, u"", layout.frame1},
      {kListBox, u"lstFileList", {120, 300, 3840, 2400}, u"Frame1", u"", row::kMultiSelect},
      {kButton, u"btnAddFile", {4080, 300, 1200, 375}, u"Frame1", u"添加"},
      {kButton, u"btnDelFile", {4080, 780, 1200, 375}, u"Frame1", u"删除", row::kDisabled},
      {kButton, u"btnBegin", {4080, 1260, 1200, 375}, u"Frame1", u"开始导入", row::kDisabled},
      {kButton, u"btnCancel", {4080, 1740, 1200, 375}, u"Frame1", u"取消", row::kDisabled},
      {kFrame, u"Picture1", {5640, 180, 3600, 2280}},
      {kImageBox, u"imgPreview", {60, 60, 3480, 2160}, u"Picture1"},
      {kLabel, u"lblImgName", {5640, 2520, 3600, 480}},
      {kFrame, u"Frame2", {120, 3120, 9120, 2040}, u"", u"设置"},
      {kCheckBox, u"chkSmallPic", {120, 300, 1200, 255}, u"Frame2", layout.small_pic, row::kTicked},
      {kCheckBox, u"chkStamp", {120, 720, 1440, 255}, u"Frame2", layout.stamp, stamp},
      {kLabel, u"Label1", {1680, 750, 960, 255}, u"Frame2", u"水印文字：", stamp_option},
      {kTextBox, u"txtStampText", {2640, 690, 2160, 300}, u"Frame2", u"", stamp_option},
      {kLabel, u"Label2", {4920, 750, 960, 255}, u"Frame2", u"水印颜色：", stamp_option},
      {kComboBox, u"cmbColor", {5880, 690, 1080, 300}, u"Frame2", u"", stamp_option, kColors, 0},
      {kLabel, u"Label11", {7080, 750, 600, 255}, u"Frame2", u"位置：", stamp_option},
      {kComboBox,
       u"cmbPosition",
       {7680, 690, 1320, 300},
       u"Frame2",
       u"",
       stamp_option,
       layout.positions,
       layout.position},
      {kLabel, u"Label6", {120, 1590, 1080, 255}, u"Frame2", u"文章标题："},
      {kOptionButton,
       u"optNameByPic",
       {1200, 1560, 1440, 255},
       u"Frame2",
       u"同图片名称",
       layout.title_by_picture ? row::kTicked : 0},
      {kOptionButton,
       u"optNameBySet",
       {2640, 1560, 2040, 255},
       u"Frame2",
       u"统一使用设定标题",
       layout.title_by_picture ? 0 : row::kTicked},
      {kTextBox, u"txtTitle", {4680, 1530, 4320, 300}, u"Frame2"},
      {kTextBox, u"txtLog", {120, log, 9120, 900}},
      {kProgressBar, u"ProgressBar", {120, log + 960, 9120, 180}, u"", u"", row::kHidden},
      {kProgressBar, u"pbFile", {120, log + 1200, 9120, 180}, u"", u"", row::kHidden},
  };
}

Form Build(const PictureFormLayout& layout) {
  Form form(layout.form, 9360, layout.log_top + 1500, SharedRows(layout));
  form.Add(layout.own_rows);
  return form;
}

bool Ticked(const FormControl& box) {
  return box.Checked() == 1;
}

}  // namespace

PictureBatchForm::PictureBatchForm(const PictureFormLayout& layout)
    : form(Build(layout)),
      lstFileList(form[u"lstFileList"]),
      btnAddFile(form[u"btnAddFile"]),
      btnDelFile(form[u"btnDelFile"]),
      btnBegin(form[u"btnBegin"]),
      btnCancel(form[u"btnCancel"]),
      imgPreview(form[u"imgPreview"]),
      lblImgName(form[u"lblImgName"]),
      chkSmallPic(form[u"chkSmallPic"]),
      chkStamp(form[u"chkStamp"]),
      txtStampText(form[u"txtStampText"]),
      cmbColor(form[u"cmbColor"]),
      cmbPosition(form[u"cmbPosition"]),
      optNameByPic(form[u"optNameByPic"]),
      optNameBySet(form[u"optNameBySet"]),
      txtTitle(form[u"txtTitle"]),
      txtLog(form[u"txtLog"]),
      ProgressBar(form[u"ProgressBar"]),
      pbFile(form[u"pbFile"]),
      stamp_options{&txtStampText, &form[u"Label1"], &form[u"Label2"],
                    &cmbColor,     &cmbPosition,     &form[u"Label11"]},
      m_shared_rows(form.Children().size() - layout.own_rows.size()) {}

FormControl& PictureBatchForm::Own(std::u16string_view name) const {
  const auto& children = form.Children();
  for (size_t i = m_shared_rows; i < children.size(); ++i) {
    if (children[i]->Name() == name) return *children[i];
  }
  throw std::out_of_range("no own control " + codepage::ToUtf8(name));
}

PictureOptions PictureBatchForm::Options() const {
  return {.thumbnail = Ticked(chkSmallPic),
          .watermark = Ticked(chkStamp),
          .stamp_text = txtStampText.Text(),
          .stamp_text_open = txtStampText.Enabled(),
          .stamp_position = SelectedValue(cmbPosition),
          .stamp_color = SelectedValue(cmbColor),
          .title_by_picture = Ticked(optNameByPic),
          .title = txtTitle.Text()};
}

}  // namespace velmaris
