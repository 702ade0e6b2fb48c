#include "controls/office/word_import.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "controls/common/article_post.h"
#include "controls/common/file_helpers.h"
#include "controls/common/plain_text.h"

namespace velmaris {

namespace {

// Markup the cleaner leaves where the word processor wrote empty runs and paragraphs. Removed in
// this order, so a paragraph holding only a blank run goes entirely.
constexpr const char16_t* kEmptyMarkup[] = {u"<span>&nbsp;</span>", u"<span> </span>", u"<p></p>"};

// What both importers do first: check the column id and the title (so bad input fails before the
// office is touched), mark the pictures as the document's, and reach the word processor with
// its alerts off. Errors of reaching it wait until it is first needed.
struct WordStart {
  std::u16string title;
  AttachedApplication attached;
};

WordStart StartWordImport(const OfficeImportSite& site, const std::u16string& fileDoc,
                          const std::u16string& colID) {
  ColumnIdNumber(colID);
  WordStart start{TitleFromPath(fileDoc), {}};
  site.cleaner_settings.picture_contentid = -1;
  start.attached = AttachOfficeApplication(site, office::kWordProgramId);
  try {
    if (auto word = OfficeCast<WordApplication>(start.attached.application)) {
      word->SetDisplayAlerts(office::kWdAlertsNone);
    }
  } catch (const std::exception&) {
    // An office that cannot be told stays as it is; the import goes on.
  }
  return start;
}

// Markup that shows nothing: blanks, no-break spaces, line breaks and inline tags around them.
bool ShowsNothing(std::u16string_view markup) {
  static constexpr std::u16string_view kInline[] = {
      u"span", u"font", u"b", u"i", u"u", u"strong", u"em", u"a", u"sup", u"sub", u"br"};
  while (!markup.empty()) {
    if (markup.front() == u' ' || markup.front() == u'\t' || markup.front() == u'\r' ||
        markup.front() == u'\n') {
      markup.remove_prefix(1);
    } else if (markup.substr(0, 6) == u"&nbsp;") {
      markup.remove_prefix(6);
    } else if (markup.front() == u'<') {
      const size_t end = markup.find(u'>');
      if (end == std::u16string_view::npos) return false;
      std::u16string_view name = markup.substr(1, end - 1);
      if (!name.empty() && name.front() == u'/') name.remove_prefix(1);
      name = name.substr(0, std::min(name.find(u' '), name.find(u'/')));
      if (std::find(std::begin(kInline), std::end(kInline), name) == std::end(kInline)) {
        return false;
      }
      markup.remove_prefix(end + 1);
    } else {
      return false;
    }
  }
  return true;
}

// Headings that show nothing are not written: a page ends with one where the heading that
// opened the next page was moved out of it.
std::u16string WithoutEmptyHeadings(std::u16string body) {
  std::u16string out;
  size_t copied = 0;
  for (size_t at = body.find(u"<h"); at != std::u16string::npos; at = body.find(u"<h", at + 1)) {
    if (at + 3 >= body.size() || body[at + 2] < u'1' || body[at + 2] > u'6' ||
        (body[at + 3] != u'>' && body[at + 3] != u' ')) {
      continue;
    }
    const size_t content = body.find(u'>', at);
    const std::u16string close = std::u16string(u"</h") + body[at + 2] + u">";
    const size_t end = content == std::u16string::npos ? content : body.find(close, content);
    if (end == std::u16string::npos) break;
    if (!ShowsNothing(std::u16string_view(body).substr(content + 1, end - content - 1))) continue;
    out.append(body, copied, at - copied);
    copied = end + close.size();
    at = copied - 1;
  }
  out.append(body, copied);
  return out;
}

// The HTML just saved at the temporary name, cleaned, with the empty markup removed. The page's
// own title goes unused: the article takes the file's name.
std::u16string CleanSavedPage(const OfficeImportSite& site, const ConversionFiles& files) {
  std::u16string body =
      site.cleaner.Clean(ReadTextFile(files.TempFile()), site.cleaner_settings).body;
  for (const char16_t* markup : kEmptyMarkup) body = ReplaceAll(std::move(body), markup, u"");
  return WithoutEmptyHeadings(std::move(body));
}

}  // namespace

int32_t ImportWordPages(const OfficeImportSite& site, const std::u16string& fileDoc,
                        const std::u16string& colID, const std::u16string& UserName) {
  WordStart start = StartWordImport(site, fileDoc, colID);
  ConversionFiles files(u".files");
  site.cleaner_settings.work_dir = files.WorkDir();

  auto word = RequireApplication<WordApplication>(start.attached, office::kWordProgramId);
  OpenedDocument<WordDocument> source(word->OpenDocument(fileDoc));
  word->SetActiveWindowViewType(office::kWdPrintView);
  source->Repaginate();
  const int32_t count = source->BuiltInDocumentProperty(office::kWdPropertyPages);

  // The last page first: the source's selection from the start of page i to its end is then
  // page i alone, because every later page has been moved out already.
  std::vector<std::u16string> pages(static_cast<size_t>(std::max(count, 0)));
  for (int32_t i = count; i >= 1; --i) {
    OpenedDocument<WordDocument> page(word->AddDocument());
    const auto target = page->Selection();
    target->GoTo(office::kWdGoToPage, 1);
    target->EndKey(office::kWdStory, office::kWdExtend);
    const auto selection = source->Selection();
    selection->GoTo(office::kWdGoToPage, i);
    selection->EndKey(office::kWdStory, office::kWdExtend);
    selection->Copy();
    target->Paste();
    selection->Delete();
    page->SaveAs(files.TempFile(), office::kWdFormatHtml);
    pages[static_cast<size_t>(i) - 1] = CleanSavedPage(site, files);
    page.Close();
    site.yield();
  }
  // Unsaved: the pages moved out of it must not leave the file on disk.
  source.Close();
  word.reset();
  start.attached.application.reset();

  site.cleaner_settings.work_dir = files.Folder();
  files.Remove();
  site.post(colID, start.title, JoinPages(pages), UserName);
  return 1;
}

int32_t ImportWordOnePage(const OfficeImportSite& site, const std::u16string& fileDoc,
                          const std::u16string& colID, const std::u16string& UserName) {
  WordStart start = StartWordImport(site, fileDoc, colID);
  ConversionFiles files(u".files");
  site.cleaner_settings.work_dir = files.WorkDir();

  auto word = RequireApplication<WordApplication>(start.attached, office::kWordProgramId);
  OpenedDocument<WordDocument> document(word->OpenDocument(fileDoc));
  document->SaveAs(files.TempFile(), office::kWdFormatHtml);
  const std::u16string body = CleanSavedPage(site, files);
  document.Close();
  word.reset();
  start.attached.application.reset();

  site.cleaner_settings.work_dir = files.Folder();
  files.Remove();
  site.post(colID, start.title, JoinPages({body}), UserName);
  return 1;
}

}  // namespace velmaris
