// The PowerPoint importer of OfficeImport: a presentation posted with one article page per slide,
// each page the slide's picture. The presentation program exports every slide as a JPEG picture
// into the slide folder; each is uploaded and shown at the size typed in the control's boxes.
#pragma once

#include <cstdint>
#include <string>

#include "controls/office/office_attach.h"

namespace velmaris {

// The picture of slide `number` as the program names it for the presentation's language.
std::u16string SlidePictureName(int32_t language, int32_t number);

// The img element of one slide: the server's address of its picture and the size as typed.
std::u16string SlideElement(const std::u16string& src, const std::u16string& width,
                            const std::u16string& height);

// Exports the slides, uploads their pictures and posts one page per slide with the file name
// (extension included) as title. The program is made visible and told to quit only when the
// import started it; a presentation the user had open in a running program stays open. Returns 1.
int32_t ImportPresentation(const OfficeImportSite& site, const std::u16string& fileDoc,
                           const std::u16string& colID, const std::u16string& UserName);

}  // namespace velmaris
