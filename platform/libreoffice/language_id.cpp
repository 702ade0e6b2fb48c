#include "platform/libreoffice/language_id.h"

namespace velmaris::libreoffice {

namespace {

struct LocaleId {
  std::u16string_view language;
  std::u16string_view country;  // empty: the language's main variant
  int32_t id;
};

// The languages an editor of this system is likely to meet; the main variant of each language
// comes first.
constexpr LocaleId kLocales[] = {
    {u"zh", u"CN", 2052}, {u"zh", u"TW", 1028}, {u"zh", u"HK", 3076}, {u"zh", u"SG", 4100},
    {u"zh", u"MO", 5124}, {u"en", u"US", 1033}, {u"en", u"GB", 2057}, {u"en", u"AU", 3081},
    {u"en", u"CA", 4105}, {u"en", u"NZ", 5129}, {u"en", u"IE", 6153}, {u"ja", u"JP", 1041},
    {u"ko", u"KR", 1042}, {u"de", u"DE", 1031}, {u"de", u"AT", 3079}, {u"de", u"CH", 2055},
    {u"fr", u"FR", 1036}, {u"fr", u"CA", 3084}, {u"fr", u"BE", 2060}, {u"fr", u"CH", 4108},
    {u"es", u"ES", 3082}, {u"es", u"MX", 2058}, {u"it", u"IT", 1040}, {u"pt", u"PT", 2070},
    {u"pt", u"BR", 1046}, {u"ru", u"RU", 1049}, {u"nl", u"NL", 1043}, {u"nl", u"BE", 2067},
    {u"sv", u"SE", 1053}, {u"da", u"DK", 1030}, {u"nb", u"NO", 1044}, {u"fi", u"FI", 1035},
    {u"pl", u"PL", 1045}, {u"cs", u"CZ", 1029}, {u"hu", u"HU", 1038}, {u"tr", u"TR", 1055},
    {u"el", u"GR", 1032}, {u"ar", u"SA", 1025}, {u"he", u"IL", 1037}, {u"th", u"TH", 1054},
    {u"vi", u"VN", 1066}, {u"id", u"ID", 1057}, {u"ms", u"MY", 1086}, {u"uk", u"UA", 1058},
};

}  // namespace

int32_t LanguageIdFromLocale(std::u16string_view language, std::u16string_view country) {
  int32_t main_variant = 0;
  for (const auto& entry : kLocales) {
    if (entry.language != language) continue;
    if (entry.country == country) return entry.id;
    if (main_variant == 0) main_variant = entry.id;
  }
  return main_variant;
}

}  // namespace velmaris::libreoffice
