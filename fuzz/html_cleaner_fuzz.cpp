// The HTML cleaner on arbitrary markup. The first byte picks the settings; the rest is the
// document (UTF-8, or raw UTF-16 when asked). The tokenizer must return tags exactly as they stand
// in the source and always move forward; the cleaner must finish in one pass and hand the
// uploader only pictures inside the work folder.
#include <cstdint>
#include <string>

#include "base/error.h"
#include "controls/office/html_cleaner.h"
#include "fuzz/fuzz_support.h"

namespace {

using velmaris::CleanerSettings;
using velmaris::CleanProgress;
using velmaris::HtmlCleaner;
using velmaris::StaysInsideFolder;
using velmaris::VbError;
using velmaris::fuzz::Check;

constexpr const char16_t* kWorkDirs[] = {u"C:\\doc2html\\", u"", u"\\tmp\\pp", u"/w/"};

// Walks the source tag by tag, as the importers' own loops do.
void ScanTags(const std::u16string& source) {
  int32_t pos = 1;
  for (;;) {
    int32_t at = pos;
    velmaris::Tag tag = velmaris::NextTag(source, at);
    const std::u16string& text = tag.SourceHTML;
    if (text.empty()) {
      Check(at >= pos, "the scan went back at the end");
      return;
    }
    Check(at >= pos, "the scan went back");
    Check(static_cast<size_t>(at) - 1 + text.size() <= source.size(), "tag beyond the source");
    Check(source.compare(static_cast<size_t>(at) - 1, text.size(), text) == 0,
          "tag text differs from the source");
    Check(text.front() == u'<', "tag does not start with <");
    pos = at + static_cast<int32_t>(text.size());
  }
}

void Clean(const std::u16string& source, uint8_t flags) {
  const std::u16string work_dir = kWorkDirs[(flags >> 1) & 3];
  const int fail_at = (flags >> 3) & 3;  // 0: every upload succeeds
  int uploads = 0;
  int32_t last_pos = 0;
  size_t yields = 0;
  const HtmlCleaner cleaner(
      [&](const std::u16string& local_path, int32_t) -> std::u16string {
        Check(local_path.compare(0, work_dir.size(), work_dir) == 0, "picture outside the folder");
        Check(StaysInsideFolder(work_dir, std::u16string_view(local_path).substr(work_dir.size())),
              "picture path leaves the folder");
        if (++uploads == fail_at) velmaris::Raise(velmaris::err::kPathFileAccess);
        return u"/files/pic.jpg";
      },
      [&](const CleanProgress& progress) {
        ++yields;
        Check(progress.position > last_pos, "a token did not move the scan");
        last_pos = progress.position;
      });
  CleanerSettings settings;
  settings.work_dir = work_dir;
  settings.clean_html = (flags & 1) != 0;
  try {
    cleaner.Clean(source, settings);
  } catch (const VbError&) {
    // A refused or failing picture; the failure carries what was cleaned before it.
  }
  Check(yields <= source.size(), "more tokens than characters");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  std::string_view rest = velmaris::fuzz::Bytes(data + 1, size - 1);
  const std::u16string source =
      (flags & 0x20) != 0 ? velmaris::fuzz::Utf16Text(rest) : velmaris::fuzz::Utf8Text(rest);
  ScanTags(source);
  Clean(source, flags);
  return 0;
}
