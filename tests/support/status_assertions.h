#pragma once
// ASSERT_TRUE(testing::Ok(call)) fails with the failure's own text.

#include <gtest/gtest.h>

#include "platform/os/status.h"

namespace sproutsmith::testing {

inline ::testing::AssertionResult Ok(const Status& status) {
  if (status.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << status.text << " (code " << status.code << ")";
}

}  // namespace sproutsmith::testing
