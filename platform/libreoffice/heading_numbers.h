// Numbered headings as a word processor writes them. Writer exports a heading that belongs to a
// numbered list as a list item holding the heading and leaves the number to the browser, which
// cannot count "一、" and puts "1." in front of it; and a heading copied into another document
// starts its list again there. A word processor writes the number the reader saw as text at the
// start of the heading, outside any list. These turn headings into that form.
#pragma once

#include <com/sun/star/container/XEnumerationAccess.hpp>

#include <vector>

#include "platform/libreoffice/uno_support.h"

namespace velmaris::libreoffice {

// The labels the numbered headings among `paragraphs` show, in order, with the blank that
// follows a label ("一、", "1.2 ").
std::vector<OUString> HeadingLabels(
    const Reference<css::container::XEnumerationAccess>& paragraphs);

// The last numbered headings among `paragraphs`, as many as there are `labels`, leave their list
// and start with those labels as text, the last label on the last heading. An empty heading
// gets no label. Returns how many headings changed.
size_t HeadingLabelsAsText(const Reference<css::container::XEnumerationAccess>& paragraphs,
                           const std::vector<OUString>& labels);

}  // namespace velmaris::libreoffice
