// Small conversions between our types and UNO's.
#pragma once

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velmaris::libreoffice {

namespace css = com::sun::star;
using css::uno::Reference;
using rtl::OUString;

inline OUString ToOUString(std::u16string_view text) {
  return OUString(reinterpret_cast<const sal_Unicode*>(text.data()),
                  static_cast<sal_Int32>(text.size()));
}
inline std::u16string FromOUString(const OUString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.getStr()),
                        static_cast<size_t>(text.getLength()));
}
OUString ToOUString(const std::string& utf8);

// A path as the system writes it, made absolute on the local disk.
std::filesystem::path LocalPath(std::u16string_view path);
OUString UrlOf(const std::filesystem::path& path);

css::beans::PropertyValue Property(const char* name, const css::uno::Any& value);
css::uno::Sequence<css::beans::PropertyValue> Properties(
    std::initializer_list<css::beans::PropertyValue> values);

}  // namespace velmaris::libreoffice
