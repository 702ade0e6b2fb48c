// What the picture forms' options mean: the fields a picture's upload carries, the size asked for
// a reduced picture, an article's title and the checks before a batch, each computed from the
// options as read off the form, so they hold without one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "controls/common/article_post.h"
#include "platform/forms.h"
#include "platform/picture.h"

namespace velmaris {

// The options both picture forms carry.
struct PictureOptions {
  bool thumbnail = false;                 // chkSmallPic ticked
  bool watermark = false;                 // chkStamp ticked
  std::u16string stamp_text;              // txtStampText
  bool stamp_text_open = false;           // txtStampText enabled
  std::optional<int32_t> stamp_position;  // cmbPosition's selected item value, none unselected
  std::optional<int32_t> stamp_color;     // cmbColor's
  bool title_by_picture = false;          // optNameByPic chosen
  std::u16string title;                   // txtTitle
};

// ImageUpload's picture watermark.
struct PictureStampOptions {
  bool on = false;                  // chkImgStamp ticked
  std::optional<int32_t> position;  // cmbPos's selected item value
};

// ImageImport's reduced size.
struct ScaleOptions {
  int index = -1;         // cmbScale's selected entry
  std::u16string entry;   // its text, by which the scale is recognised
  bool open = false;      // cmbScale enabled
  std::u16string width;   // txtWidth
  std::u16string height;  // txtHeight
};

// Whether the controls take a chosen file as a picture (a .bmp, .jpg or .gif, any case): by its
// extension, or, when the dialog answered it alone, by the last three characters of its path.
bool IsPictureFile(std::u16string_view path, bool alone);

// The item value of a drop-down's selected entry, none when no entry is selected.
std::optional<int32_t> SelectedValue(const FormControl& combo);

// The fields every picture upload starts with: "curpath", "contentid", "author", "thumbnail".
PostFields UploadHead(const std::u16string& cur_path, const std::u16string& author,
                      const PictureOptions& options);
// "thumbnailalt" and "thumbnailtarget", sent with a thumbnail.
void AddThumbnailLink(PostFields& fields);
// "watermark" and, when it is ticked, "wmtext", "wmposition" and "wmcolor"; raises 5 when a
// drop-down it reads has nothing selected.
void AddWatermark(PostFields& fields, const PictureOptions& options);

// ImageUpload's fields after the head: the thumbnail's link, the watermark and the picture
// watermark ("imgstamp", and "imgstamppos" when it is ticked).
PostFields ImageUploadFields(PostFields head, const PictureOptions& options,
                             const PictureStampOptions& stamp);
// ImageImport's fields after the head: the reduced size `asked` ("bili", "thumbnailwidth",
// "thumbnailheight") and the thumbnail's link when a reduced size is ticked, then the watermark.
PostFields ImageImportFields(PostFields head, const PictureOptions& options, PictureSize asked);

// The article title of a picture: its file name without ".extension" (every occurrence), or the
// common title, by the title option.
std::u16string PictureTitle(const std::u16string& path, const PictureOptions& options);

// The server's reply as a picture's part of an article: every "Click" turned into "点击看大图".
std::u16string ReplyFragment(const std::u16string& reply);

// The scale list's entries: three typed sizes, then shares of the picture's own size.
std::span<const ListEntry> ScaleEntries();
// The entry the scale list starts on.
inline constexpr int kHalfScale = 6;
// Which size boxes the scale at `index` reads.
struct SizeBoxes {
  bool width = false;
  bool height = false;
};
SizeBoxes SizeBoxesRead(int index);
// The size to ask the server for, for a picture of `picture` pixels. Raises 5 when the entry is
// no scale, 13 or 6 when a size box it reads holds no 16-bit whole number, and 5 when a
// proportional scale meets a picture with no width or height.
PictureSize SizeToAskFor(const ScaleOptions& scale, PictureSize picture);

// What the options' message says before a batch, null when the options will do: the watermark
// text must not be blank while it is open; ImageImport's typed sizes must be numbers.
const char16_t* StampTextProblem(const PictureOptions& options);
const char16_t* SizeBoxProblem(const ScaleOptions& scale);

}  // namespace velmaris
