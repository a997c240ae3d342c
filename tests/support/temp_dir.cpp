#include "support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sproutsmith::testing {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "sproutsmith-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int CountHolding(const std::vector<std::string>& lines, const std::string& fragment) {
  int n = 0;
  for (const std::string& line : lines) n += line.find(fragment) != std::string::npos;
  return n;
}

std::vector<std::string> Section(const std::vector<std::string>& lines, const std::string& from,
                                 const std::string& to) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    if (out.empty() && line.find(from) == std::string::npos) continue;
    out.push_back(line);
    if (out.size() > 1 && line.find(to) != std::string::npos) break;
  }
  return out;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace sproutsmith::testing
