// Writer's HTML draws a table's grid with each cell's CSS border, which the importers' cleaner
// removes with every style. A word processor also says it in the table's own attributes, which
// the cleaner keeps: a table whose cells draw vertical and horizontal lines gets `border="1"`
// (and `cellspacing="0"`, so neighbouring lines meet as in the document). A table drawn with
// horizontal rules only, or with no lines, is left as it is. Nothing here knows about UNO.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::libreoffice {

std::string TableGridAttributes(std::string_view html);

}  // namespace velmaris::libreoffice
