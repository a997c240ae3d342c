// When the log's lines reach the file: the file is read here behind the log's back, as
// another program (or a person after a kill) would read it.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_fixture.h"

namespace sproutsmith::log {
namespace {

class HeldLinesTest : public LogFixture {
 protected:
  static text::DateTime At(int hour, int minute, int second, int ms, int day = 14) {
    return text::DateTime{2020, 11, day, hour, minute, second, ms};
  }
};

TEST_F(HeldLinesTest, ErrorsAndWarningsAreWrittenAtOnceWithWhatCameBefore) {
  const struct {
    const char* text;
    int verbose;
    Lines on_disk;
  } cases[] = {
      {"Error: failed", 1, {"before", "Error: 2020-11-14 09:30:15.25  failed"}},
      {"warning: lower case", 1, {"before", "warning: 2020-11-14 09:30:15.25  lower case"}},
      // Quiet: "before" is not a line of the file at all.
      {"ERROR: quiet", 0, {"ERROR: 2020-11-14 09:30:15.25  quiet"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::remove(Dated());
    options_.CheckLogMethod = c.verbose;
    log_.AddLog("before");
    log_.AddLog(c.text);
    EXPECT_EQ(OnDisk(), c.on_disk);
  }
}

TEST_F(HeldLinesTest, ASecondOnTheClockWritesTheHeldLines) {
  const struct {
    const char* name;
    text::DateTime next;
    bool written;
  } cases[] = {
      {"just under a second", At(9, 30, 16, 249), false},
      {"a second", At(9, 30, 16, 250), true},
      {"a minute", At(9, 31, 15, 0), true},
      {"a clock set back", At(9, 30, 14, 0), true},
  };
  options_.MNTimeStampLogFile = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Dated());
    clock_.Set(At(9, 30, 15, 250));
    log_.AddLog("first");
    clock_.Set(c.next);
    log_.AddLog(c.name);
    // Each line keeps the time it was added, not the time it was written.
    const Lines both{"2020-11-14 09:30:15.25  first", log::Log::TimeStamp(c.next) + " " + c.name};
    EXPECT_EQ(OnDisk(), c.written ? both : Lines{});
    log_.Flush();
    EXPECT_EQ(OnDisk(), both);
  }
}

TEST_F(HeldLinesTest, LinesHeldForOneFileGoThereWhenTheNextLineNamesAnother) {
  const struct {
    const char* name;
    std::function<void()> change;
    const char* old_file;
    const char* new_file;
  } cases[] = {
      {"midnight", [&] { clock_.Set(At(0, 0, 0, 100, 15)); }, "Arborline_20201114.LOG",
       "Arborline_20201115.LOG"},
      {"another LogFile", [&] { state_.LogFile = dir_.File("Moved.LOG"); },
       "Arborline_20201114.LOG", "Moved_20201114.LOG"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    state_.LogFile = dir_.File("Arborline.LOG");
    std::filesystem::remove(Dated(c.old_file));
    // Half a second before the change: only the change of file writes the line.
    clock_.Set(At(23, 59, 59, 600));
    log_.AddLog(std::string("old ") + c.name);
    c.change();
    log_.AddLog(std::string("new ") + c.name);
    EXPECT_EQ(OnDisk(c.old_file), Lines{std::string("old ") + c.name});
    EXPECT_TRUE(OnDisk(c.new_file).empty());
    EXPECT_EQ(log_.DatedLogFile(), dir_.File(c.new_file));  // handed out with its lines
    EXPECT_EQ(OnDisk(c.new_file), Lines{std::string("new ") + c.name});
  }
}

TEST_F(HeldLinesTest, ALogGoneOrFullOfTextHoldsNothingBack) {
  {
    Log short_lived(clock_, state_, options_, ui_, files_);
    short_lived.AddLog("said just before the end");
  }
  EXPECT_EQ(OnDisk(), Lines{"said just before the end"});
  // A row that says a great deal is written before its end: memory stays bounded.
  const std::string long_line(1000, 'x');
  for (int i = 0; i < 100; ++i) log_.AddLog(long_line + std::to_string(i));
  const Lines on_disk = OnDisk();
  EXPECT_GT(on_disk.size(), 1u);
  EXPECT_LT(on_disk.size(), 101u);
}

// Another file system's files, with every open counted where another thread can wait for it.
class WatchedFiles final : public os::FileSystem {
 public:
  explicit WatchedFiles(os::FileSystem& inner) : inner_(inner) {}
  std::unique_ptr<os::AppendFile> OpenForAppend(const std::string& path,
                                                std::string* error) override {
    std::unique_ptr<os::AppendFile> file = inner_.OpenForAppend(path, error);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++opens_;
    }
    opened_.notify_all();
    return file;
  }
  bool Exists(const std::string& path) const override { return inner_.Exists(path); }
  Status Remove(const std::string& path) override { return inner_.Remove(path); }
  Status Copy(const std::string& from, const std::string& to) override {
    return inner_.Copy(from, to);
  }
  Status Replace(const std::string& path, std::string_view text) override {
    return inner_.Replace(path, text);
  }
  // Whether `n` opens have been made; false after a minute, so a broken writer fails the
  // test rather than hanging it.
  bool WaitForOpens(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return opened_.wait_for(lock, std::chrono::minutes(1), [&] { return opens_ >= n; });
  }

 private:
  os::FileSystem& inner_;
  std::mutex mutex_;
  std::condition_variable opened_;
  int opens_ = 0;
};

using LateWriterTest = HeldLinesTest;

TEST_F(LateWriterTest, LinesNothingElseWritesReachTheFileByThemselvesInOrder) {
  // The second open fails.
  files_.Fail(os::FailingFileSystem::Operation::kOpen, 2, false, "Input/output error");
  WatchedFiles files(files_);
  Log log(clock_, state_, options_, ui_, files);
  log.OnWriteFailure([&](const std::string& why) { reports_.push_back(why); });
  log.StartLateWriter();

  // The clock stands still: by the lines' own times nothing would ever be due.
  log.AddLog("first");
  ASSERT_TRUE(files.WaitForOpens(1));
  log.AddLog("lost");
  ASSERT_TRUE(files.WaitForOpens(2));
  // The late writer's failure is reported here, with the next line, and only once.
  EXPECT_TRUE(reports_.empty());
  log.AddLog("next");
  log.Flush();
  log.AddLog("last");
  log.Flush();
  EXPECT_EQ(OnDisk(), (Lines{"first", "next", "last"}));
  EXPECT_EQ(reports_, Lines{Dated() + ": Input/output error"});
}

}  // namespace
}  // namespace sproutsmith::log
