#include "platform/os/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace sproutsmith::os {
namespace {

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

}  // namespace
}  // namespace sproutsmith::os
