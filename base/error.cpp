#include "base/error.h"

#include <new>

#include "base/codepage.h"

namespace velmaris {

namespace {

struct CatalogueEntry {
  int32_t number;
  const char16_t* text;
};

constexpr CatalogueEntry kCatalogue[] = {
    {err::kInvalidCall, u"无效的过程调用或参数"},
    {err::kOverflow, u"溢出"},
    {err::kOutOfMemory, u"内存溢出"},
    {err::kSubscript, u"下标越界"},
    {err::kOutOfStack, u"堆栈空间不足"},
    {err::kTypeMismatch, u"类型不匹配"},
    {err::kBadFileName, u"错误的文件名或号码"},
    {err::kFileNotFound, u"文件未找到"},
    {err::kDeviceIo, u"设备 I/O 错误"},
    {err::kFileExists, u"文件已存在"},
    {err::kDiskFull, u"磁盘已满"},
    {err::kPastEndOfFile, u"输入超出文件尾"},
    {err::kPermissionDenied, u"没有权限"},
    {err::kPathFileAccess, u"路径/文件访问错误"},
    {err::kPathNotFound, u"路径未找到"},
    {err::kObjectNotSet, u"对象变量或 With 块变量未设置"},
    {err::kDuplicateKey, u"此键已经与该集合的一个元素相关联"},
};

}  // namespace

VbError::VbError(int32_t number, std::u16string source, std::u16string description)
    : std::runtime_error(codepage::ToUtf8(description)),
      m_number(number),
      m_source(std::move(source)),
      m_description(std::move(description)) {}

std::u16string DefaultDescription(int32_t number) {
  for (const auto& entry : kCatalogue) {
    if (entry.number == number) return entry.text;
  }
  return u"应用程序定义或对象定义错误";
}

void Raise(int32_t number) {
  throw VbError(number, kLibrarySource, DefaultDescription(number));
}

void Raise(int32_t number, std::u16string source, std::u16string description) {
  if (description.empty()) description = DefaultDescription(number);
  throw VbError(number, std::move(source), std::move(description));
}

ErrorTriple CurrentError(const ErrorNumbers& numbers) {
  try {
    throw;
  } catch (const VbError& error) {
    return {error.Number(), error.Source(), error.Description()};
  } catch (const std::bad_alloc& error) {
    if (numbers.out_of_memory != 0)
      return {numbers.out_of_memory, kLibrarySource, DefaultDescription(numbers.out_of_memory)};
    return {numbers.exception, kLibrarySource, codepage::FromUtf8(error.what())};
  } catch (const std::exception& error) {
    return {numbers.exception, kLibrarySource, codepage::FromUtf8(error.what())};
  } catch (...) {
    return {numbers.unknown, kLibrarySource,
            numbers.describe_unknown ? DefaultDescription(numbers.unknown) : std::u16string()};
  }
}

}  // namespace velmaris
