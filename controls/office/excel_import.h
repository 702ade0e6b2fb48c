// The Excel importer of OfficeImport: a workbook posted with one article page per sheet. The
// spreadsheet program saves the workbook as a web page, either as one file or with one file per
// sheet ("sheet001.htm", ...) in the folder beside it; each is cleaned, its pictures uploaded, and
// its tables given a visible border.
#pragma once

#include <cstdint>
#include <string>

#include "controls/office/office_attach.h"

namespace velmaris {

// "sheet" and the number with at least three digits: "sheet001.htm", "sheet123.htm",
// "sheet1000.htm".
std::u16string SheetFileName(int32_t number);

// Every border="0" written by the cleaner becomes a black border of width 1.
std::u16string WithTableBorders(std::u16string body);

// Saves the workbook as a web page and posts its sheets (or the whole file, when the program
// wrote no sheet files) with the first sheet's name as title. A workbook without sheets is not
// posted. Returns 1.
int32_t ImportWorkbook(const OfficeImportSite& site, const std::u16string& fileDoc,
                       const std::u16string& colID, const std::u16string& UserName);

}  // namespace velmaris
