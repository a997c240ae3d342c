#pragma once
// ASSERT_TRUE(testing::Ok(call)) fails with the failure's own text; EXPECT_TRUE(testing::
// Contains(text, part)) (or EXPECT_FALSE) fails showing the whole text.

#include <gtest/gtest.h>

#include <string>

#include "platform/os/status.h"

namespace sproutsmith::testing {

inline ::testing::AssertionResult Ok(const Status& status) {
  if (status.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << status.text << " (code " << status.code << ")";
}

inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  const bool found = text.find(part) != std::string::npos;
  return (found ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
         << "\"" << part << "\" is" << (found ? "" : " not") << " in:\n"
         << text;
}

}  // namespace sproutsmith::testing
