// The form the two picture controls share: the list of pictures with its buttons and preview,
// the thumbnail, watermark and title options, the log and the two progress bars, and after them
// the rows each control adds of its own. Built from one layout table; the batch reads its options
// off it as one PictureOptions.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "controls/image/picture_options.h"
#include "platform/forms.h"

namespace velmaris {

// What differs between the two picture forms.
struct PictureFormLayout {
  const char16_t* form;       // the form's own name
  const char16_t* frame1;     // caption of the list's frame
  const char16_t* small_pic;  // caption of chkSmallPic
  const char16_t* stamp;      // caption of chkStamp
  bool stamp_ticked;          // chkStamp starts ticked, its text, colour and position open
  bool title_by_picture;      // optNameByPic starts chosen, else optNameBySet
  std::span<const ListEntry> positions;  // cmbPosition's entries
  int position;                          // the entry it starts on
  int log_top;                           // where the log starts; the rows above are the options'
  std::span<const ControlRow> own_rows;  // the control's own rows, after the shared ones
};

struct PictureBatchForm {
  explicit PictureBatchForm(const PictureFormLayout& layout);

  // One of the control's own rows; raises out_of_range for any other name.
  FormControl& Own(std::u16string_view name) const;
  // The shared options as they stand.
  PictureOptions Options() const;

  Form form;
  FormControl& lstFileList;
  FormControl& btnAddFile;
  FormControl& btnDelFile;
  FormControl& btnBegin;
  FormControl& btnCancel;
  FormControl& imgPreview;
  FormControl& lblImgName;
  FormControl& chkSmallPic;
  FormControl& chkStamp;
  FormControl& txtStampText;
  FormControl& cmbColor;
  FormControl& cmbPosition;
  FormControl& optNameByPic;
  FormControl& optNameBySet;
  FormControl& txtTitle;
  FormControl& txtLog;
  FormControl& ProgressBar;
  FormControl& pbFile;
  // What chkStamp opens and closes.
  FormControl* const stamp_options[6];

 private:
  size_t m_shared_rows;
};

}  // namespace velmaris
