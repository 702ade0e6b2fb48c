// The Word importers of OfficeImport: a document posted with one article page per printed page,
// or as a single page. The word processor saves the document (or each of its pages) as HTML in the
// working folder; the cleaner turns that into the article's markup and uploads its pictures.
#pragma once

#include <cstdint>
#include <string>

#include "controls/office/office_attach.h"

namespace velmaris {

// Moves the document's pages, last first, one by one into a new document, saves each as HTML and
// cleans it; posts the pages in document order, each followed by the page separator, with the
// file name before its first "." as title. The file on disk is never changed. Returns 1.
int32_t ImportWordPages(const OfficeImportSite& site, const std::u16string& fileDoc,
                        const std::u16string& colID, const std::u16string& UserName);

// The whole document saved and cleaned once, posted as one page. Returns 1.
int32_t ImportWordOnePage(const OfficeImportSite& site, const std::u16string& fileDoc,
                          const std::u16string& colID, const std::u16string& UserName);

}  // namespace velmaris
