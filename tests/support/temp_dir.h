#pragma once
// A fresh folder under the system's temporary area, removed with everything in it when
// the object goes away. Tests put their library files, settings and logs here.

#include <filesystem>
#include <string>
#include <vector>

namespace sproutsmith::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The whole file as text ("" when missing).
std::string ReadFile(const std::string& path);
// The file's lines without their CR LF / LF endings.
std::vector<std::string> ReadLines(const std::string& path);
// How many of `lines` hold `fragment`.
int CountHolding(const std::vector<std::string>& lines, const std::string& fragment);
// The lines from the first holding `from` up to the next holding `to` (both kept).
std::vector<std::string> Section(const std::vector<std::string>& lines, const std::string& from,
                                 const std::string& to);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace sproutsmith::testing
