// The HTML cleaner of OfficeImport: one pass over the HTML an office application saved, keeping
// the title and the body's markup in one uniform form and uploading every picture it refers to.
//
// The scanner knows only tags, quoted attribute values, white space and comments. It decodes no
// character references, builds no tree and checks no nesting. Its state lives for one clean only,
// so a clean started from a yield cannot disturb one that is running.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "controls/office/tag.h"

namespace velmaris {

// What an importer sets for a clean.
struct CleanerSettings {
  // Put in front of every picture path unchanged: ends in "\" for Word and Excel; the PowerPoint
  // importer leaves it off and starts its paths with "\".
  std::u16string work_dir;
  // Sent as "contentid" with every picture.
  int32_t picture_contentid = 0;
  // "清理HTML代码": when off, style attributes stay with their non-office declarations.
  bool clean_html = true;
  // A title to build on: a title element's text is appended to it, while the first body text of
  // a document without one replaces it. The importers start from none.
  std::u16string prior_title;
};

struct CleanResult {
  // From the title element, else the first text of the body (which then stays out of the body).
  std::u16string title;
  std::u16string body;
};

// Where a clean stands when it yields: the scan's position (UTF-16 units from 1) and the body
// written so far.
struct CleanProgress {
  int32_t position = 1;
  std::u16string_view body;
};

// An error raised inside a clean (a picture refused or failing to go up), as it was raised, with
// what had been cleaned before the failing tag.
class CleanFailure : public VbError {
 public:
  CleanFailure(const VbError& error, CleanResult partial)
      : VbError(error), m_partial(std::move(partial)) {}
  const CleanResult& Partial() const { return m_partial; }

 private:
  CleanResult m_partial;
};

class HtmlCleaner {
 public:
  // Uploads one local picture with `contentid` and returns the address the server gave it. May
  // raise VbError.
  using PictureUpload =
      std::function<std::u16string(const std::u16string& local_path, int32_t contentid)>;
  // Called once per scanned token so the host's loop keeps running.
  using Yield = std::function<void(const CleanProgress& progress)>;

  explicit HtmlCleaner(PictureUpload upload_picture, Yield yield = nullptr);

  // Cleans `source`. A VbError from a picture leaves as CleanFailure; positions are 32-bit, so a
  // source of 2^31 - 1 units or more raises overflow (6).
  CleanResult Clean(std::u16string_view source, const CleanerSettings& settings) const;

  // Uploads the picture named by `src` below settings.work_dir and returns its new address. A src
  // that would leave the folder counts as a missing picture (53).
  std::u16string UploadPicture(std::u16string_view src, const CleanerSettings& settings) const;

 private:
  PictureUpload m_upload_picture;
  Yield m_yield;
};

// The scanner's one step, for the fuzz target and the tests: scans `source` from `scan_pos` (UTF-16
// units from 1) to the end of the next tag. A complete tag comes back with scan_pos on its "<" and
// SourceHTML covering it; when the source ends first, SourceHTML is empty and scan_pos is on the
// unterminated "<", or unchanged when there was none. The source must be shorter than 2^31 - 1.
Tag NextTag(std::u16string_view source, int32_t& scan_pos);

// True when `work_dir` followed by `path` names something inside `work_dir`, judged on the text
// alone: no "..", drive, scheme or absolute path may lead out, and the two parts must meet at
// exactly one separator.
bool StaysInsideFolder(std::u16string_view work_dir, std::u16string_view path);

}  // namespace velmaris
