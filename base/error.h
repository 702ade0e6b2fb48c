// The one error type of the library: the classic error triple (number, source, description).
// Raised where the system raises an error; turned into an HRESULT and EXCEPINFO only at the
// dispatch boundary.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmaris {

namespace err {
inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscript = 9;
inline constexpr int32_t kOutOfStack = 28;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kBadFileName = 52;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kDeviceIo = 57;
inline constexpr int32_t kFileExists = 58;
inline constexpr int32_t kDiskFull = 61;
inline constexpr int32_t kPastEndOfFile = 62;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kPathFileAccess = 75;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kDuplicateKey = 457;
inline constexpr int32_t kPackage = 9999;
// The base of object-defined errors, raised for a malformed server address.
inline constexpr int32_t kObjectError = static_cast<int32_t>(0x80040000u);
// The server did not take a request that must succeed (an article post, a batch's picture): an
// object-defined error above the 512 numbers the system keeps for its own.
inline constexpr int32_t kNotAccepted = kObjectError + 512 + 1;
}  // namespace err

// The source text of errors the runtime raises on the library's behalf.
inline constexpr char16_t kLibrarySource[] = u"VelmarisClient";

class VbError : public std::runtime_error {
 public:
  VbError(int32_t number, std::u16string source, std::u16string description);

  int32_t Number() const { return m_number; }
  const std::u16string& Source() const { return m_source; }
  const std::u16string& Description() const { return m_description; }

 private:
  int32_t m_number;
  std::u16string m_source;
  std::u16string m_description;
};

// The Simplified Chinese text the runtime gives an error number that has no description of its own.
std::u16string DefaultDescription(int32_t number);

// Raises `number` with the library as source and the catalogue's description.
[[noreturn]] void Raise(int32_t number);
// Raises with the given source; an empty description takes the catalogue's.
[[noreturn]] void Raise(int32_t number, std::u16string source, std::u16string description = {});

// A failure as the classic triple.
struct ErrorTriple {
  int32_t number = 0;
  std::u16string source;
  std::u16string description;
};

// The numbers a catch site gives the failures that are no VbError; they come from the library.
struct ErrorNumbers {
  int32_t exception;  // any other std::exception, described by its own text
  int32_t unknown;    // anything else
  // Out of memory, described by the catalogue; 0 takes it as any other exception.
  int32_t out_of_memory = 0;
  // Whether `unknown` is described by the catalogue rather than left blank.
  bool describe_unknown = false;
};

// The failure being handled, as its triple: a VbError as it was raised, the others by `numbers`.
// Call it inside a catch handler only.
ErrorTriple CurrentError(const ErrorNumbers& numbers);

// Runs `body`; any failure inside it is raised again as error 9999 with `source`, as the package
// classes do for their accessors.
template <typename F>
auto GuardPackage(const char16_t* source, F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const std::exception&) {
    Raise(err::kPackage, source);
  }
}

}  // namespace velmaris
