// A failure is any non-zero code, whatever its sign; the text travels unchanged.

#include "platform/os/status.h"

#include <gtest/gtest.h>

namespace sproutsmith {
namespace {

TEST(StatusTest, OnlyCodeZeroIsSuccess) {
  EXPECT_TRUE(Status().ok());
  EXPECT_TRUE(Status::Ok().ok());
  EXPECT_TRUE(Status::Ok().text.empty());
  for (const long code : {-1L, 1L, 1014L}) {
    const Status s = Status::Error(code, "[Sproutsmith][SQLite] disk I/O error");
    EXPECT_FALSE(s.ok()) << code;
    EXPECT_EQ(s.code, code);
    EXPECT_EQ(s.text, "[Sproutsmith][SQLite] disk I/O error");
  }
}

}  // namespace
}  // namespace sproutsmith
