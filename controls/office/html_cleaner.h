// The HTML cleaner of OfficeImport: one pass over the HTML an office application saved, keeping
// the title and the body's markup in one uniform form and uploading every picture it refers to.
//
// The scanner knows only tags, quoted attribute values, white space and comments. It decodes no
// character references, builds no tree and checks no nesting. Positions in the fields below count
// UTF-16 units from 1, as the importers that fill and read these fields do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "controls/office/tag.h"

namespace velmaris {

class HtmlCleaner {
 public:
  // Called once per scanned token so the host's loop keeps running (the control's Pump).
  using Yield = std::function<void()>;
  // Uploads one local picture with `contentid` and returns the server's reply text, the picture's
  // new address (the control's StartUpload with m_cur_path). May raise VbError.
  using PictureUpload =
      std::function<std::u16string(const std::u16string& local_path, int32_t contentid)>;

  HtmlCleaner(Yield yield, PictureUpload upload_picture);

  // Cleans m_source into m_body and m_title. An error from a picture upload passes out with
  // m_body holding the markup produced before that tag.
  void CleanHtml();

  // The scanner's steps; public for the PowerPoint importer (UploadPicture) and for tests.
  Tag NextTag();
  void ParseAttributeSpan(Tag& tag, int32_t& span_start, int32_t span_end, int32_t quote_start,
                          bool& name_taken);
  void SkipElement(const Tag& tag);
  std::u16string RebuildTag(Tag& tag);
  // Uploads the picture named by the tag's src below m_work_dir and returns its new address. A
  // src that would leave m_work_dir counts as a missing picture (error 53).
  std::u16string UploadPicture(Tag& tag);

  // Inputs, set by the importer before CleanHtml.
  std::u16string m_source;
  // Put in front of every picture path unchanged: ends in "\" for Word and Excel; the PowerPoint
  // importer leaves it off and starts its paths with "\".
  std::u16string m_work_dir;
  int32_t m_picture_contentid = 0;
  std::u16string m_cur_path;
  // "清理HTML代码": when off, style attributes stay with their non-office declarations.
  bool m_clean_html = true;

  // Outputs. m_title is only appended to or set: an importer that wants it clears it first.
  std::u16string m_title;
  std::u16string m_body;
  bool m_title_found = false;

  // Scan state.
  bool m_in_body = false;
  bool m_in_title = false;
  int32_t m_source_length = 0;
  std::u16string m_source_lower;  // only for finding closing tags of skipped elements
  int32_t m_scan_pos = 1;         // where the next scan starts; on a returned tag's "<"
  int32_t m_emit_pos = 1;         // first source character not yet consumed

 private:
  char16_t At(int32_t pos) const { return m_source[static_cast<size_t>(pos) - 1]; }
  // The source from `first` to `last` inclusive; empty when last < first.
  std::u16string_view Mid(int32_t first, int32_t last) const;
  // Text between the last consumed character and the current tag, trimmed of blanks.
  std::u16string_view PendingText() const;
  // Moves past the current tag of length `len` and marks everything before as consumed.
  void Consume(int32_t len);
  void CleanBodyTag(Tag& tag, const std::u16string& name, int32_t len);
  // The style attribute as it is kept when m_clean_html is off; empty drops it.
  static std::u16string KeptStyle(std::u16string_view style);

  Yield m_yield;
  PictureUpload m_upload_picture;
};

// True when `work_dir` followed by `path` names something inside `work_dir`, judged on the text
// alone: no "..", drive, scheme or absolute path may lead out, and the two parts must meet at
// exactly one separator.
bool StaysInsideFolder(std::u16string_view work_dir, std::u16string_view path);

}  // namespace velmaris
