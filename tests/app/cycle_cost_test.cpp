// What a folder costs its library, counted rather than timed: a return to a commit per
// statement, or to the DM stand-in reading again what it already knows, shows here before
// anyone runs a benchmark.

#include <gtest/gtest.h>

#include <memory>

#include "app/small_demo.h"
#include "bench/counting_database.h"

namespace sproutsmith::app {
namespace {

long long Folders(Demo& demo) {
  long long n = 0;
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    std::unique_ptr<sql::Database> db = demo.install().OpenLibrary(library);
    const sql::ExecResult r = db->Execute("SELECT COUNT(*) FROM FOLDER");
    if (r.ok() && !r.result.rows.empty()) n += r.result.rows[0][0].AsInteger();
  }
  return n;
}

TEST(CycleCostTest, AFolderTakesAboutOneCommitAndABoundedNumberOfStatements) {
  Demo demo;
  const long long before = Folders(demo);
  auto counts = std::make_shared<bench::Counts>();
  ASSERT_TRUE(demo.Cycle(nullptr, "", [counts](std::unique_ptr<sql::Database> db) {
    return std::unique_ptr<sql::Database>(
        std::make_unique<bench::CountingDatabase>(std::move(db), counts));
  }));
  const long long folders = Folders(demo) - before;
  ASSERT_GT(folders, 40);
  const double commits = static_cast<double>(counts->commits) / static_cast<double>(folders);
  const double statements = static_cast<double>(counts->statements) / static_cast<double>(folders);
  // The demo's rows often find their folders made: a row commits at its end in each library
  // it wrote to, and once before each folder it makes. A commit per statement gave 43.
  EXPECT_LE(commits, 3.0) << folders << " folders";
  // The engine's statements and the stand-in's own; reading again what it knows gave 208.
  EXPECT_LE(statements, 140.0) << folders << " folders";
}

}  // namespace
}  // namespace sproutsmith::app
