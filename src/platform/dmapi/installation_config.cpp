#include <filesystem>
#include <map>
#include <sstream>

#include "platform/dmapi/installation.h"
#include "platform/os/file_system.h"
#include "text/text.h"

namespace sproutsmith::dmapi {

namespace fs = std::filesystem;

int InstallationConfig::Find(const std::string& library_name) const {
  for (size_t i = 0; i < libraries.size(); ++i) {
    if (text::EqualsNoCase(libraries[i].name, text::Trim(library_name))) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

namespace {

// Tabs count as blanks here; text::Trim only strips spaces.
std::string TrimAll(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

bool ValidLibraryName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

bool ParseWholeNumber(const std::string& s, int* out) {
  if (s.empty() || s.size() > 9) return false;
  size_t i = (s[0] == '-') ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t j = i; j < s.size(); ++j) {
    if (s[j] < '0' || s[j] > '9') return false;
  }
  *out = std::atoi(s.c_str());
  return true;
}

class Parser {
 public:
  Parser(std::string path, InstallationConfig* config) : path_(std::move(path)), config_(config) {}

  Status Run(const std::string& text) {
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
      ++line_;
      if (!Line(TrimAll(raw))) break;
    }
    if (message_.empty()) Finish();
    return message_.empty() ? Status::Ok() : Status::Error(message_);
  }

 private:
  enum class Section { kNone, kClient, kLibrary };

  bool Fail(int line, const std::string& message) {
    message_ =
        line > 0 ? path_ + ":" + std::to_string(line) + ": " + message : path_ + ": " + message;
    return false;
  }

  bool Line(const std::string& line) {
    if (line.empty() || line[0] == '#' || line[0] == ';') return true;
    if (line[0] == '[') return Header(line);
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      return Fail(line_, "expected \"key = value\", a [section] or a comment");
    }
    const std::string key = text::LCase(TrimAll(line.substr(0, eq)));
    const std::string value = TrimAll(line.substr(eq + 1));
    if (key.empty()) return Fail(line_, "missing key before \"=\"");
    if (section_ == Section::kNone) return Fail(line_, "key '" + key + "' outside a section");
    std::map<std::string, int>& seen = section_ == Section::kClient ? client_keys_ : library_keys_;
    if (auto it = seen.find(key); it != seen.end()) {
      return Fail(line_, "duplicate key '" + key + "' (first set on line " +
                             std::to_string(it->second) + ")");
    }
    seen[key] = line_;
    return section_ == Section::kClient ? ClientKey(key, value) : LibraryKey(key, value);
  }

  bool Header(const std::string& line) {
    if (line.back() != ']') return Fail(line_, "section header without closing \"]\"");
    const std::string inner = TrimAll(line.substr(1, line.size() - 2));
    const std::vector<std::string> words = text::Split(inner, " ");
    const std::string kind = text::LCase(words.empty() ? "" : words[0]);
    if (kind == "client" && words.size() == 1) {
      if (client_line_ > 0) {
        return Fail(line_, "duplicate [client] section (first on line " +
                               std::to_string(client_line_) + ")");
      }
      client_line_ = line_;
      section_ = Section::kClient;
      return true;
    }
    if (kind == "library") {
      const std::string name = text::UCase(TrimAll(inner.substr(7)));
      if (name.empty()) return Fail(line_, "library section without a name");
      if (!ValidLibraryName(name)) {
        return Fail(line_,
                    "invalid library name '" + name + "' (letters, digits, '_' and '-' only)");
      }
      for (size_t i = 0; i < config_->libraries.size(); ++i) {
        if (config_->libraries[i].name == name) {
          return Fail(line_, "duplicate library '" + name + "' (first defined on line " +
                                 std::to_string(library_lines_[i]) + ")");
        }
      }
      config_->libraries.push_back(LibraryConfig{});
      config_->libraries.back().name = name;
      library_lines_.push_back(line_);
      has_database_.push_back(false);
      library_keys_.clear();
      section_ = Section::kLibrary;
      return true;
    }
    return Fail(line_, "unknown section [" + inner + "]");
  }

  bool ClientKey(const std::string& key, const std::string& value) {
    if (key == "user") {
      if (value.empty()) return Fail(line_, "empty user id");
      config_->user_id = value;
      return true;
    }
    if (key == "current_library") {
      current_line_ = line_;
      config_->current_library = text::UCase(value);
      return true;
    }
    return Fail(line_, "unknown key '" + key + "' in [client]");
  }

  bool LibraryKey(const std::string& key, const std::string& value) {
    LibraryConfig& lib = config_->libraries.back();
    if (key == "description") {
      lib.description = value;
    } else if (key == "backend") {
      const std::string backend = text::LCase(value);
      if (backend != kSqliteBackend && backend != kPostgresBackend) {
        return Fail(line_, "unknown back end '" + value + "'");
      }
      lib.backend = backend;
    } else if (key == "database") {
      if (value.empty()) return Fail(line_, "empty database path");
      fs::path p(value);
      if (p.is_relative()) p = fs::path(path_).parent_path() / p;
      lib.database_path = p.lexically_normal().string();
      has_database_.back() = true;
    } else if (key == "connection") {
      if (value.empty()) return Fail(line_, "empty connection");
      lib.connection = value;
    } else if (key == "owner") {
      if (value.empty()) return Fail(line_, "empty owner");
      lib.owner = value;
    } else if (key == "engine") {
      int code = 0;
      if (!ParseWholeNumber(value, &code) || code < 0) {
        return Fail(line_, "engine code '" + value + "' is not a whole number of 0 or more");
      }
      lib.engine_code = code;
    } else if (key == "busy_wait") {
      int seconds = 0;
      if (!ParseWholeNumber(value, &seconds) || seconds < 0) {
        return Fail(line_, "busy wait '" + value + "' is not a whole number of seconds, 0 or more");
      }
      lib.busy_wait_seconds = seconds;
    } else if (key == "page_cache") {
      int megabytes = 0;
      if (!ParseWholeNumber(value, &megabytes) || megabytes < 1 || megabytes > 65536) {
        return Fail(line_,
                    "page cache '" + value + "' is not a whole number of megabytes, 1 to 65536");
      }
      lib.page_cache_mb = megabytes;
    } else {
      return Fail(line_, "unknown key '" + key + "' in [library " + lib.name + "]");
    }
    return true;
  }

  void Finish() {
    for (size_t i = 0; i < config_->libraries.size(); ++i) {
      const LibraryConfig& lib = config_->libraries[i];
      if (lib.backend == kPostgresBackend ? lib.connection.empty() : !has_database_[i]) {
        Fail(library_lines_[i], "library '" + lib.name + "' has no " +
                                    (lib.backend == kPostgresBackend ? "connection" : "database"));
        return;
      }
    }
    if (client_line_ == 0) {
      Fail(0, "missing [client] section");
    } else if (config_->user_id.empty()) {
      Fail(client_line_, "[client] sets no user");
    } else if (config_->libraries.empty()) {
      Fail(0, "no [library NAME] section");
    } else if (config_->current_library.empty()) {
      config_->current_library = config_->libraries.front().name;
    } else if (config_->Find(config_->current_library) < 0) {
      Fail(current_line_, "current library '" + config_->current_library + "' is not defined");
    }
  }

  std::string path_;
  InstallationConfig* config_;
  int line_ = 0;
  Section section_ = Section::kNone;
  int client_line_ = 0;
  int current_line_ = 0;
  std::vector<int> library_lines_;
  std::vector<bool> has_database_;
  std::map<std::string, int> client_keys_;
  std::map<std::string, int> library_keys_;
  std::string message_;
};

}  // namespace

Status ParseInstallationConfig(const std::string& text, const std::string& path,
                               InstallationConfig* config) {
  InstallationConfig parsed;
  parsed.path = path;
  if (Status s = Parser(path, &parsed).Run(text); !s.ok()) return s;
  *config = std::move(parsed);
  return Status::Ok();
}

Status LoadInstallationConfig(const std::string& path, InstallationConfig* config) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    return Status::Error(path + ": " +
                         (fs::exists(path, ec) ? "not a regular file" : "no such file"));
  }
  std::string text;
  if (Status read = os::ReadWholeFile(path, &text); !read.ok()) return read;
  return ParseInstallationConfig(text, path, config);
}

std::string FormatInstallationConfig(const InstallationConfig& config, const std::string& folder) {
  std::ostringstream out;
  out << "# Sproutsmith DM client configuration (see sproutsmith-dm --help).\n"
      << "[client]\n"
      << "user = " << config.user_id << "\n"
      << "current_library = " << config.current_library << "\n";
  const fs::path base = fs::path(folder).lexically_normal();
  for (const LibraryConfig& lib : config.libraries) {
    fs::path db = fs::path(lib.database_path).lexically_normal();
    const fs::path relative = db.lexically_relative(base);
    if (!folder.empty() && !relative.empty() && *relative.begin() != "..") db = relative;
    out << "\n[library " << lib.name << "]\n";
    if (!lib.description.empty()) out << "description = " << lib.description << "\n";
    out << "backend = " << lib.backend << "\n";
    if (lib.backend == kPostgresBackend) {
      out << "connection = " << lib.connection << "\n";
    } else {
      out << "database = " << db.string() << "\n";
    }
    out << "owner = " << lib.owner << "\n"
        << "engine = " << lib.engine_code << "\n"
        << "busy_wait = " << lib.busy_wait_seconds << "\n";
    if (lib.backend != kPostgresBackend) out << "page_cache = " << lib.page_cache_mb << "\n";
  }
  return out.str();
}

std::string DefaultConfigPath(const os::Environment& env) {
  if (std::string named = env.Variable(kConfigEnvironmentVariable); !named.empty()) return named;
  fs::path base;
  if (const std::string config = env.Variable("XDG_CONFIG_HOME"); !config.empty()) {
    base = config;
  } else if (const std::string home = env.Variable("HOME"); !home.empty()) {
    base = fs::path(home) / ".config";
  } else {
    base = ".config";
  }
  const fs::path per_user = base / "sproutsmith" / "dm.conf";
  std::error_code ec;
  if (!fs::exists(per_user, ec) && fs::exists(kSystemConfigPath, ec)) return kSystemConfigPath;
  return per_user.string();
}

}  // namespace sproutsmith::dmapi
