#include "controls/image/picture_options.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "base/error.h"
#include "base/text.h"
#include "controls/common/file_helpers.h"
#include "controls/common/plain_text.h"

namespace velmaris {

namespace {

constexpr const char16_t* kPictureExtensions[] = {u"bmp", u"jpg", u"gif"};

constexpr char16_t kSource[] = u"ImageImport";
constexpr char16_t kEnterStampText[] = u"请输入水印文字";
constexpr char16_t kEnterDigits[] = u"请输入半角数字";
constexpr char16_t kNoProportion[] = u"图片的宽度或高度为 0，无法按比例计算尺寸";

constexpr char16_t kClick[] = u"Click";
constexpr char16_t kClickForLarger[] = u"点击看大图";
constexpr char16_t kContentId[] = u"-1";
constexpr char16_t kThumbnailTarget[] = u"about:blank";

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

constexpr auto kScaleEntries = [] {
  std::array<ListEntry, std::size(kScales)> entries{};
  for (size_t i = 0; i < entries.size(); ++i) entries[i] = {kScales[i].text};
  return entries;
}();

std::u16string YesNo(bool yes) {
  return yes ? u"Yes" : u"No";
}

// The value a field needs from a drop-down: 5 when it has nothing selected.
std::u16string Required(const std::optional<int32_t>& value) {
  if (!value) Raise(err::kInvalidCall);
  return DecimalText(*value);
}

// The whole number a size box holds, as a 16-bit integer: 13 when it is not a number, 6 when it
// is out of range.
int32_t BoxNumber(const std::u16string& text) {
  return WholeNumber(text, INT16_MIN, INT16_MAX);
}

int32_t Rounded(double value) {
  return WholeNumber(value, INT32_MIN, INT32_MAX);
}

}  // namespace

bool IsPictureFile(std::u16string_view path, bool alone) {
  const std::u16string extension =
      LowerCase(alone ? std::u16string(path.substr(path.size() - std::min<size_t>(3, path.size())))
                      : GetFileExtension(path));
  return std::find(std::begin(kPictureExtensions), std::end(kPictureExtensions), extension) !=
         std::end(kPictureExtensions);
}

std::optional<int32_t> SelectedValue(const FormControl& combo) {
  const int index = combo.ListIndex();
  if (index < 0 || index >= static_cast<int>(combo.Items().size())) return std::nullopt;
  return combo.ItemData(index);
}

PostFields UploadHead(const std::u16string& cur_path, const std::u16string& author,
                      const PictureOptions& options) {
  return {{u"curpath", cur_path},
          {u"contentid", kContentId},
          {u"author", author},
          {u"thumbnail", YesNo(options.thumbnail)}};
}

void AddThumbnailLink(PostFields& fields) {
  fields.emplace_back(u"thumbnailalt", kClick);
  fields.emplace_back(u"thumbnailtarget", kThumbnailTarget);
}

void AddWatermark(PostFields& fields, const PictureOptions& options) {
  fields.emplace_back(u"watermark", YesNo(options.watermark));
  if (!options.watermark) return;
  fields.emplace_back(u"wmtext", options.stamp_text);
  fields.emplace_back(u"wmposition", Required(options.stamp_position));
  fields.emplace_back(u"wmcolor", Required(options.stamp_color));
}

PostFields ImageUploadFields(PostFields head, const PictureOptions& options,
                             const PictureStampOptions& stamp) {
  if (options.thumbnail) AddThumbnailLink(head);
  AddWatermark(head, options);
  head.emplace_back(u"imgstamp", YesNo(stamp.on));
  if (stamp.on) head.emplace_back(u"imgstamppos", Required(stamp.position));
  return head;
}

PostFields ImageImportFields(PostFields head, const PictureOptions& options, PictureSize asked) {
  if (options.thumbnail) {
    // The size always goes as a width and a height, never as a ratio.
    head.emplace_back(u"bili", u"-1");
    head.emplace_back(u"thumbnailwidth", DecimalText(asked.width));
    head.emplace_back(u"thumbnailheight", DecimalText(asked.height));
    AddThumbnailLink(head);
  }
  AddWatermark(head, options);
  return head;
}

std::u16string PictureTitle(const std::u16string& path, const PictureOptions& options) {
  if (!options.title_by_picture) return options.title;
  const std::u16string name = GetFileName(path);
  return ReplaceAll(name, u"." + GetFileExtension(name), u"");
}

std::u16string ReplyFragment(const std::u16string& reply) {
  return ReplaceAll(reply, kClick, kClickForLarger);
}

std::span<const ListEntry> ScaleEntries() {
  return kScaleEntries;
}

SizeBoxes SizeBoxesRead(int index) {
  return {index == kTypedSize || index == kTypedWidth,
          index == kTypedSize || index == kTypedHeight};
}

PictureSize SizeToAskFor(const ScaleOptions& options, PictureSize picture) {
  const auto found = std::find_if(std::begin(kScales), std::end(kScales),
                                  [&](const Scale& scale) { return options.entry == scale.text; });
  if (found == std::end(kScales)) Raise(err::kInvalidCall);
  const int scale = static_cast<int>(found - std::begin(kScales));
  const bool proportional = scale == kTypedWidth || scale == kTypedHeight;
  if (proportional && (picture.width == 0 || picture.height == 0)) {
    Raise(err::kInvalidCall, kSource, kNoProportion);
  }
  switch (scale) {
    case kTypedSize:
      return {BoxNumber(options.width), BoxNumber(options.height)};
    case kTypedWidth: {
      // The picture keeps its proportions.
      const int32_t width = BoxNumber(options.width);
      return {width, Rounded(static_cast<double>(width) / picture.width * picture.height)};
    }
    case kTypedHeight: {
      const int32_t height = BoxNumber(options.height);
      return {Rounded(static_cast<double>(height) / picture.height * picture.width), height};
    }
    default: {
      const double factor = kScales[scale].factor;
      return {Rounded(picture.width * factor), Rounded(picture.height * factor)};
    }
  }
}

const char16_t* StampTextProblem(const PictureOptions& options) {
  return options.stamp_text_open && TrimSpaces(options.stamp_text).empty() ? kEnterStampText
                                                                           : nullptr;
}

const char16_t* SizeBoxProblem(const ScaleOptions& scale) {
  if (scale.index != kTypedSize || !scale.open) return nullptr;
  for (const std::u16string* box : {&scale.width, &scale.height}) {
    if (!IsNumericText(*box)) return kEnterDigits;
  }
  return nullptr;
}

}  // namespace velmaris
