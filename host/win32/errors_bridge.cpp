#include "host/win32/errors_bridge.h"

#include "host/errors.h"

namespace velmaris::host::win32 {

std::wstring DescribeError(int32_t hr) {
  std::u16string text = DescribeHresult(hr);
  return std::wstring(text.begin(), text.end());
}

const int32_t kErrTypeMismatch = kTypeMismatch;
const int32_t kErrBadFileName = kBadFileName;
const int32_t kErrFileNotFound = kFileNotFound;
const int32_t kErrCannotCreateObject = kCannotCreateObject;
const int32_t kErrPathFileAccess = kPathFileAccess;
const int32_t kErrInvalidArgument = kInvalidArgument;

}  // namespace velmaris::host::win32
