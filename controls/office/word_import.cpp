#include "controls/office/word_import.h"

#include <algorithm>
#include <vector>

#include "controls/common/article_post.h"
#include "controls/common/file_helpers.h"

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

// The HTML just saved at the temporary name, cleaned, with the empty markup removed. The page's
// own title goes unused: the article takes the file's name.
std::u16string CleanSavedPage(const OfficeImportSite& site, const ConversionFiles& files) {
  std::u16string body =
      site.cleaner.Clean(ReadTextFile(files.TempFile()), site.cleaner_settings).body;
  for (const char16_t* markup : kEmptyMarkup) body = RemoveEvery(std::move(body), markup);
  return body;
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
