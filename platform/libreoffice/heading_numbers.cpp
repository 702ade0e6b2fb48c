#include "platform/libreoffice/heading_numbers.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/text/LabelFollow.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include <algorithm>

namespace velmaris::libreoffice {

namespace {

struct NumberedHeading {
  Reference<css::beans::XPropertySet> paragraph;
  OUString label;
};

// The blank the list level puts after its label: none, or one space for a tab, a space or a
// line break.
OUString LabelFollower(const Reference<css::beans::XPropertySet>& paragraph) {
  Reference<css::container::XIndexAccess> rules(paragraph->getPropertyValue("NumberingRules"),
                                                css::uno::UNO_QUERY);
  sal_Int16 level = 0;
  paragraph->getPropertyValue("NumberingLevel") >>= level;
  if (!rules.is() || level < 0 || level >= rules->getCount()) return " ";
  css::uno::Sequence<css::beans::PropertyValue> settings;
  rules->getByIndex(level) >>= settings;
  for (const auto& setting : settings) {
    sal_Int16 follow = css::text::LabelFollow::LISTTAB;
    if (setting.Name == "LabelFollowedBy" && (setting.Value >>= follow)) {
      return follow == css::text::LabelFollow::NOTHING ? OUString() : OUString(" ");
    }
  }
  return " ";
}

std::vector<NumberedHeading> NumberedHeadings(
    const Reference<css::container::XEnumerationAccess>& paragraphs) {
  std::vector<NumberedHeading> found;
  const auto each = paragraphs->createEnumeration();
  while (each->hasMoreElements()) {
    // Tables and other content come through too; only paragraphs have an outline level.
    Reference<css::beans::XPropertySet> paragraph(each->nextElement(), css::uno::UNO_QUERY);
    if (!paragraph.is() || !paragraph->getPropertySetInfo()->hasPropertyByName("OutlineLevel")) {
      continue;
    }
    sal_Int16 outline = 0;
    bool numbered = false;
    OUString label;
    paragraph->getPropertyValue("OutlineLevel") >>= outline;
    paragraph->getPropertyValue("NumberingIsNumber") >>= numbered;
    paragraph->getPropertyValue("ListLabelString") >>= label;
    if (outline > 0 && numbered && !label.isEmpty()) {
      found.push_back({paragraph, label + LabelFollower(paragraph)});
    }
  }
  return found;
}

}  // namespace

std::vector<OUString> HeadingLabels(
    const Reference<css::container::XEnumerationAccess>& paragraphs) {
  std::vector<OUString> labels;
  for (const auto& heading : NumberedHeadings(paragraphs)) labels.push_back(heading.label);
  return labels;
}

size_t HeadingLabelsAsText(const Reference<css::container::XEnumerationAccess>& paragraphs,
                           const std::vector<OUString>& labels) {
  // Every heading is found before any changes: leaving a list renumbers what follows.
  const std::vector<NumberedHeading> headings = NumberedHeadings(paragraphs);
  const size_t count = std::min(headings.size(), labels.size());
  for (size_t i = 0; i < count; ++i) {
    const auto& paragraph = headings[headings.size() - count + i].paragraph;
    // An empty name overrides a list the heading's style gives it.
    paragraph->setPropertyValue("NumberingStyleName", css::uno::Any(OUString()));
    Reference<css::text::XTextRange> text(paragraph, css::uno::UNO_QUERY_THROW);
    if (text->getString().isEmpty()) continue;
    text->getText()->insertString(text->getStart(), labels[labels.size() - count + i], false);
  }
  return count;
}

}  // namespace velmaris::libreoffice
