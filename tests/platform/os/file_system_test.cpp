#include "platform/os/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "platform/os/failing_file_system.h"
#include "support/temp_dir.h"

namespace sproutsmith::os {
namespace {

using Op = FailingFileSystem::Operation;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(SystemFileSystemTest, AppendCreatesThenAddsAndAnOpenFileWritesAtOnce) {
  TempDir dir;
  SystemFileSystem files;
  const std::string path = dir.File("a.log");
  EXPECT_FALSE(files.Exists(path));
  ASSERT_TRUE(files.Append(path, "one\r\n").ok());
  ASSERT_TRUE(files.Append(path, "two\r\n").ok());
  std::string error;
  const auto open = files.OpenForAppend(path, &error);
  ASSERT_NE(open, nullptr) << error;
  ASSERT_TRUE(open->Write("three\r\n").ok());
  // Readable before the file is closed: a crash loses no line already written.
  EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\nthree\r\n");
  EXPECT_TRUE(files.Exists(path));
  EXPECT_FALSE(files.Exists(""));
  EXPECT_FALSE(files.Exists(dir.path().string()));  // a folder is no file
}

TEST(SystemFileSystemTest, FailuresAnswerTheSystemsReason) {
  TempDir dir;
  SystemFileSystem files;
  std::string error;
  EXPECT_EQ(files.OpenForAppend(dir.File("missing/a.log"), &error), nullptr);
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_EQ(files.Append(dir.File("missing/a.log"), "x").text, "No such file or directory");
  const Status copied = files.Copy(dir.File("absent"), dir.File("b"));
  EXPECT_NE(copied.code, 0);
  EXPECT_FALSE(copied.text.empty());

  std::filesystem::create_directories(dir.File("full/child"));
  EXPECT_FALSE(files.Remove(dir.File("full")).ok());  // a folder that is not empty
  EXPECT_TRUE(std::filesystem::exists(dir.File("full")));
  // Nothing to remove is no failure.
  EXPECT_TRUE(files.Remove(dir.File("absent")).ok());
  // A replacement that cannot be written leaves neither the file nor a temporary one.
  EXPECT_EQ(files.Replace(dir.File("missing/r.json"), "{}").text, "No such file or directory");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(SystemFileSystemTest, CopyReplacesAndRemoveDeletes) {
  TempDir dir;
  SystemFileSystem files;
  WriteFile(dir.File("from"), "new");
  WriteFile(dir.File("to"), "old and longer");
  ASSERT_TRUE(files.Copy(dir.File("from"), dir.File("to")).ok());
  EXPECT_EQ(ReadFile(dir.File("to")), "new");
  ASSERT_TRUE(files.Replace(dir.File("to"), "replaced").ok());
  EXPECT_EQ(ReadFile(dir.File("to")), "replaced");
  ASSERT_TRUE(files.Remove(dir.File("to")).ok());
  EXPECT_FALSE(files.Exists(dir.File("to")));
  EXPECT_TRUE(files.Exists(dir.File("from")));
  // The temporary file of the replacement went with the rename.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(FailingFileSystemTest, ArmedWritesFailWithTheReasonAndNeverReachTheDisk) {
  const struct {
    const char* name;
    long n;
    bool later;
    const char* kept;  // the file after five appends "1".."5"
    long failures;
  } cases[] = {
      {"full from the third write", 3, true, "12", 3},
      {"only the third write", 3, false, "1245", 1},
      {"full from the first", 1, true, "", 5},
      {"disarmed", 0, true, "12345", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    FailingFileSystem files;
    files.Fail(Op::kWrite, c.n, c.later);
    const std::string path = dir.File("a.log");
    const auto open = files.OpenForAppend(path, nullptr);
    ASSERT_NE(open, nullptr);
    long failed = 0;
    for (const char* text : {"1", "2"}) {
      const Status written = open->Write(text);
      failed += written.ok() ? 0 : 1;
      if (!written.ok()) {
        EXPECT_EQ(written.text, FailingFileSystem::kDiskFull);
      }
    }
    // Appends of their own count as writes too.
    for (const char* text : {"3", "4", "5"}) failed += files.Append(path, text).ok() ? 0 : 1;
    EXPECT_EQ(std::tuple(ReadFile(path), failed, files.failures(), files.calls(Op::kWrite),
                         files.calls(Op::kOpen)),
              std::tuple(c.kept, c.failures, c.failures, 5, 4));
  }
}

TEST(FailingFileSystemTest, OpensRemovesAndCopiesFailOnTheirOwnCount) {
  TempDir dir;
  FailingFileSystem files;
  WriteFile(dir.File("kept"), "x");
  files.Fail(Op::kRemove, 1, true, "Permission denied");
  files.Fail(Op::kCopy, 2, false, "Input/output error");
  files.Fail(Op::kOpen, 1, true, "Read-only file system");
  files.Fail(Op::kReplace, 1, true, "Read-only file system");

  EXPECT_EQ(files.Remove(dir.File("kept")).text, "Permission denied");
  EXPECT_TRUE(files.Exists(dir.File("kept")));
  EXPECT_TRUE(files.Copy(dir.File("kept"), dir.File("copy1")).ok());
  EXPECT_EQ(files.Copy(dir.File("kept"), dir.File("copy2")).text, "Input/output error");
  EXPECT_FALSE(files.Exists(dir.File("copy2")));
  EXPECT_FALSE(files.Replace(dir.File("kept"), "y").ok());
  EXPECT_EQ(ReadFile(dir.File("kept")), "x");
  std::string error;
  EXPECT_EQ(files.OpenForAppend(dir.File("new.log"), &error), nullptr);
  EXPECT_EQ(error, "Read-only file system");
  EXPECT_FALSE(files.Exists(dir.File("new.log")));
  EXPECT_EQ(files.calls(Op::kWrite), 0);  // a write that never was is not counted

  EXPECT_EQ(files.call_log(),
            (std::vector<std::string>{
                "FAILED Remove " + dir.File("kept"),
                "Copy " + dir.File("kept") + " to " + dir.File("copy1"),
                "FAILED Copy " + dir.File("kept") + " to " + dir.File("copy2"),
                "FAILED Replace " + dir.File("kept"), "FAILED Open " + dir.File("new.log")}));
  files.Disarm();
  EXPECT_TRUE(files.Remove(dir.File("kept")).ok());
  EXPECT_FALSE(files.Exists(dir.File("kept")));
  EXPECT_EQ(files.calls(Op::kRemove), 1);
}

}  // namespace
}  // namespace sproutsmith::os
