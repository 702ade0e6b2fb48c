// Catching the error a call is meant to raise.
#pragma once

#include <gtest/gtest.h>

#include "base/error.h"

namespace velmaris::testing {

// The error a call raises; fails the test when it raises none.
template <typename F>
VbError ErrorOf(F&& call) {
  try {
    call();
  } catch (const VbError& error) {
    return error;
  }
  ADD_FAILURE() << "no error raised";
  return VbError(0, u"", u"");
}

}  // namespace velmaris::testing
