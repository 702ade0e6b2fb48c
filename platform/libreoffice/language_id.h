// Language ids as the office applications' automation interfaces number them (Windows LCIDs),
// from the language and country of a locale.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmaris::libreoffice {

// "zh"/"CN" gives 2052, "en"/"US" 1033. A country the table does not know gives the language's
// main variant; a language it does not know gives 0 (no language).
int32_t LanguageIdFromLocale(std::u16string_view language, std::u16string_view country);

}  // namespace velmaris::libreoffice
