#include "controls/office/excel_import.h"

#include "base/text.h"
#include "controls/common/article_post.h"
#include "controls/common/file_helpers.h"
#include "platform/filesystem.h"

namespace velmaris {

namespace {

constexpr char16_t kNoBorder[] = u"border=\"0\"";
constexpr char16_t kBlackBorder[] = u"borderColor=#000000 border=1";

// The sheet's HTML cleaned, with borders on its tables.
std::u16string CleanSheet(const OfficeImportSite& site, const std::u16string& file) {
  return WithTableBorders(site.cleaner.Clean(ReadTextFile(file), site.cleaner_settings).body);
}

}  // namespace

std::u16string SheetFileName(int32_t number) {
  std::u16string digits = DecimalText(number);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), u'0');
  return u"sheet" + digits + u".htm";
}

std::u16string WithTableBorders(std::u16string body) {
  const std::u16string_view from = kNoBorder;
  const std::u16string_view to = kBlackBorder;
  for (size_t at = body.find(from); at != std::u16string::npos; at = body.find(from, at)) {
    body.replace(at, from.size(), to);
    at += to.size();
  }
  return body;
}

int32_t ImportWorkbook(const OfficeImportSite& site, const std::u16string& fileDoc,
                       const std::u16string& colID, const std::u16string& UserName) {
  ColumnIdNumber(colID);
  AttachedApplication attached = AttachOfficeApplication(site, office::kExcelProgramId);
  ConversionFiles files(u".files");
  site.cleaner_settings.work_dir = files.WorkDir();

  auto excel = RequireApplication<ExcelApplication>(attached, office::kExcelProgramId);
  OpenedDocument<Workbook> workbook(excel->OpenWorkbook(fileDoc));
  excel->SetDisplayAlerts(false);
  workbook->SaveAs(files.TempFile(), office::kXlHtml, office::kXlNoChange);

  const std::u16string sheet_folder = files.Folder() + u"\\";
  const int32_t count = workbook->SheetCount();
  if (count >= 1) {
    std::vector<std::u16string> pages;
    if (!FileSystemObject().FileExists(sheet_folder + SheetFileName(1))) {
      pages.push_back(CleanSheet(site, files.TempFile()));
    } else {
      for (int32_t n = 1; n <= count; ++n) {
        pages.push_back(CleanSheet(site, sheet_folder + SheetFileName(n)));
      }
    }
    site.post(colID, workbook->SheetName(1), JoinPages(pages), UserName);
  }
  workbook.Close();
  excel.reset();
  attached.application.reset();

  site.cleaner_settings.work_dir = files.Folder();
  files.Remove();
  return 1;
}

}  // namespace velmaris
