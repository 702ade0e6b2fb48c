#include "base/error.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace velmaris {
namespace {

TEST(ErrorTest, CurrentErrorTranslatesEachKindOfFailure) {
  const ErrorNumbers plain{.exception = 5, .unknown = 6};
  const ErrorNumbers careful{
      .exception = 5, .unknown = 5, .out_of_memory = err::kOutOfMemory, .describe_unknown = true};
  struct Row {
    std::function<void()> fail;
    const ErrorNumbers& numbers;
    ErrorTriple expected;
  };
  const Row rows[] = {
      {[] { Raise(53, u"Src", u"gone"); }, plain, {53, u"Src", u"gone"}},
      {[] { throw std::runtime_error("bad \xE4\xB8\xAD"); }, plain, {5, kLibrarySource, u"bad 中"}},
      // Out of memory is an exception like any other unless the site numbers it.
      {[] { throw std::bad_alloc(); }, plain, {5, kLibrarySource, u"std::bad_alloc"}},
      {[] { throw std::bad_alloc(); }, careful, {7, kLibrarySource, u"内存溢出"}},
      {[] { throw 1; }, plain, {6, kLibrarySource, u""}},
      {[] { throw 1; }, careful, {5, kLibrarySource, u"无效的过程调用或参数"}},
  };
  for (const Row& row : rows) {
    ErrorTriple got;
    try {
      row.fail();
    } catch (...) {
      got = CurrentError(row.numbers);
    }
    EXPECT_EQ(got.number, row.expected.number);
    EXPECT_EQ(got.source, row.expected.source);
    EXPECT_EQ(got.description, row.expected.description);
  }
}

}  // namespace
}  // namespace velmaris
