// The Linux host's error numbers and Chinese descriptions for the Windows host, whose files
// include the system's headers and so cannot include the COM declarations those come with.
#pragma once

#include <cstdint>
#include <string>

namespace velmaris::host::win32 {

// Our own text for a failing HRESULT that came without a description.
std::wstring DescribeError(int32_t hr);

extern const int32_t kErrTypeMismatch;
extern const int32_t kErrBadFileName;
extern const int32_t kErrFileNotFound;
extern const int32_t kErrCannotCreateObject;
extern const int32_t kErrPathFileAccess;
extern const int32_t kErrInvalidArgument;

}  // namespace velmaris::host::win32
