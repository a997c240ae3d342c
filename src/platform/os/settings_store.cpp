#include "platform/os/settings_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "text/text.h"

namespace sproutsmith::os {
namespace {

using text::EqualsNoCase;

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// Keys are free text (library and rule names), so the characters that would end a key or
// make its line read as a section are written as %XX. Values need nothing: they run to the
// end of the line.
std::string EncodeKey(const std::string& key) {
  std::string out;
  bool leading = true;  // only blanks so far
  for (const char c : key) {
    if (c == '%') {
      out += "%25";
    } else if (c == '=') {
      out += "%3D";
    } else if (c == '[' && leading) {
      out += "%5B";
    } else {
      out += c;
    }
    leading = leading && c == ' ';
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeKey(const std::string& key) {
  std::string out;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] == '%' && i + 2 < key.size() && HexDigit(key[i + 1]) >= 0 &&
        HexDigit(key[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(key[i + 1]) * 16 + HexDigit(key[i + 2]));
      i += 2;
    } else {
      out += key[i];
    }
  }
  return out;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes `content` next to `path` and renames it over `path`: readers see the old file or
// the new one, never a part.
bool ReplaceFileAtomically(const std::string& path, const std::string& content) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::string HomeFolder(const Environment& env) {
  if (std::string home = env.Variable("HOME"); !home.empty()) return home;
  struct passwd pw {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return ".";
}

}  // namespace

SettingsStore::SettingsStore(std::string folder) : folder_(std::move(folder)) {}

std::string SettingsStore::DefaultFolder(const Environment& env) {
  const std::string config = env.Variable("XDG_CONFIG_HOME");
  // The XDG rules ignore a relative value.
  if (!config.empty() && config[0] == '/') return config + "/sproutsmith";
  return HomeFolder(env) + "/.config/sproutsmith";
}

std::string SettingsStore::FilePath(const std::string& application) const {
  std::string name = application;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return (std::filesystem::path(folder_) / (name + ".ini")).string();
}

SettingsStore::Sections SettingsStore::Load(const std::string& application) const {
  Sections sections;
  std::ifstream in(FilePath(application), std::ios::binary);
  std::string line;
  Entries* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = text::Trim(line);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      const std::string name = trimmed.substr(1, trimmed.size() - 2);
      current = nullptr;
      for (auto& [section, entries] : sections) {
        if (EqualsNoCase(section, name)) current = &entries;
      }
      if (current == nullptr) current = &sections.emplace_back(name, Entries{}).second;
      continue;
    }
    const size_t eq = line.find('=');
    if (current == nullptr || eq == std::string::npos || eq == 0) continue;  // unreadable
    current->emplace_back(DecodeKey(line.substr(0, eq)), line.substr(eq + 1));
  }
  return sections;
}

std::string SettingsStore::Get(const std::string& application, const std::string& section,
                               const std::string& key, const std::string& fallback) const {
  for (const auto& [name, entries] : Load(application)) {
    if (!EqualsNoCase(name, section)) continue;
    for (const auto& [k, v] : entries) {
      if (EqualsNoCase(k, key)) return v;
    }
  }
  return fallback;
}

bool SettingsStore::Save(const std::string& application, const std::string& section,
                         const std::string& key, const std::string& value) {
  return SaveAll(application, {{section, key, value}});
}

bool SettingsStore::SaveAll(const std::string& application, const std::vector<Setting>& settings) {
  bool all_storable = true;
  Sections sections = Load(application);
  for (const Setting& s : settings) {
    if (s.section.empty() || s.key.empty() || HasLineBreak(s.section) || HasLineBreak(s.key) ||
        HasLineBreak(s.value)) {
      all_storable = false;
      continue;
    }
    Entries* entries = nullptr;
    for (auto& [name, e] : sections) {
      if (EqualsNoCase(name, s.section)) entries = &e;
    }
    if (entries == nullptr) entries = &sections.emplace_back(s.section, Entries{}).second;
    bool found = false;
    for (auto& [k, v] : *entries) {
      if (EqualsNoCase(k, s.key)) {
        v = s.value;
        found = true;
        break;
      }
    }
    if (!found) entries->emplace_back(s.key, s.value);
  }

  std::string content;
  for (const auto& [name, e] : sections) {
    content += "[" + name + "]\n";
    for (const auto& [k, v] : e) content += EncodeKey(k) + "=" + v + "\n";
    content += "\n";
  }
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  return ReplaceFileAtomically(FilePath(application), content) && all_storable;
}

}  // namespace sproutsmith::os
