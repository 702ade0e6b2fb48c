#include "platform/libreoffice/uno_support.h"

#include "platform/filesystem.h"
#include "platform/libreoffice/export_layout.h"

namespace velmaris::libreoffice {

OUString ToOUString(const std::string& utf8) {
  return rtl::OStringToOUString(rtl::OString(utf8.data(), static_cast<sal_Int32>(utf8.size())),
                                RTL_TEXTENCODING_UTF8);
}

std::filesystem::path LocalPath(std::u16string_view path) {
  return std::filesystem::absolute(ToNativePath(path)).lexically_normal();
}

OUString UrlOf(const std::filesystem::path& path) {
  return ToOUString(FileUrl(path));
}

css::beans::PropertyValue Property(const char* name, const css::uno::Any& value) {
  css::beans::PropertyValue property;
  property.Name = OUString::createFromAscii(name);
  property.Value = value;
  return property;
}

css::uno::Sequence<css::beans::PropertyValue> Properties(
    std::initializer_list<css::beans::PropertyValue> values) {
  return css::uno::Sequence<css::beans::PropertyValue>(values.begin(),
                                                       static_cast<sal_Int32>(values.size()));
}

}  // namespace velmaris::libreoffice
