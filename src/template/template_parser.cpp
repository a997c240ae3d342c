#include "template/template_parser.h"

#include <array>
#include <optional>

#include "template/external_link.h"
#include "template/template_levels.h"
#include "text/text.h"

namespace sproutsmith::templ {

using text::EqualsNoCase;
using text::Format;
using text::Number;
using text::Trim;
using text::UCase;

namespace {

constexpr std::array<const char*, 10> kKeywords = {
    "LIBRARY",          "DATE",           "YEAR", "MONTH", "DAY", "MONTHNAME", "LIBRARY_DESC",
    "DOCUMENT_LIBRARY", "FOLDER_LIBRARY", "TODAY"};
// Keywords 1 to 9 also fill the e-mail template.
constexpr size_t kEmailKeywords = 9;

constexpr std::array<const char*, 7> kDocumentLibraryNames = {
    "%DOCUMENT_LIBRARY%", "%DOC_LIBRARY%",     "%DOC_LIB%", "%DOCLIB%",
    "%DOCLIBRARY%",       "%DOCUMENTLIBRARY%", "%DL%"};
constexpr std::array<const char*, 5> kFolderLibraryNames = {
    "%FOLDER_LIBRARY%", "%FOLDER_LIB%", "%FOLDERLIB%", "%FOLDERLIBRARY%", "%FL%"};

std::string KeywordValue(size_t k, const TemplateEnvironment& env) {
  switch (k) {
    case 0:
      return env.library_name;
    case 1:
      return Format(env.today, "YYYY-MM-DD");
    case 2:
      return Format(env.today, "YYYY");
    case 3:
      return Format(env.today, "MM");
    case 4:
      return Format(env.today, "DD");
    case 5:
      return Format(env.today, "MMMM");
    case 6:
      return env.library_description;
    case 7:
      return env.library_name;
    case 8:
      return env.library_name;
    default:
      return Format(env.today, "LONG DATE");
  }
}

template <size_t N>
bool IsOneOf(const std::string& name, const std::array<const char*, N>& names) {
  for (const char* n : names) {
    if (name == n) return true;
  }
  return false;
}

class Parser {
 public:
  Parser(std::string* email, const TemplateEnvironment& env, ForeignKeyCache& cache,
         DataDictionary& dictionary, log::Log& log, ParsedTemplate& out)
      : email_(email), env_(env), cache_(cache), dictionary_(dictionary), log_(log), out_(out) {
    if (email_) last_logged_email_ = *email_;
  }

  bool Scan(std::string_view template_text);
  void ResolvePaths();

 private:
  TemplateItem& Open() {
    out_.items.emplace_back();
    return out_.items.back();
  }
  int CurrentNumber() const { return out_.ItemCount(); }
  // The library a "{name}" prefix names; nullopt for a name the session does not know.
  std::optional<std::string> PrefixLibrary(const std::string& name) const;
  void ClassifyToken();
  void PlainToken(const std::string& upper);
  void FillEmailKeywords();
  void ResolvePath(TemplateItem& item);
  void NoteHop(const std::string& from_table, const std::string& from_column,
               const ForeignKey& key);

  std::string* email_;
  std::string last_logged_email_;
  const TemplateEnvironment& env_;
  ForeignKeyCache& cache_;
  DataDictionary& dictionary_;
  log::Log& log_;
  ParsedTemplate& out_;
};

std::optional<std::string> Parser::PrefixLibrary(const std::string& name) const {
  // The document library is not a separate library in this design: it names none.
  if (IsOneOf(name, kDocumentLibraryNames)) return std::string();
  if (IsOneOf(name, kFolderLibraryNames)) return env_.processing_library;
  for (const std::string& library : env_.session_libraries) {
    if (EqualsNoCase(library, name)) return library;
  }
  return std::nullopt;
}

bool Parser::Scan(std::string_view template_text) {
  std::string work(template_text);
  while (true) {
    work = Trim(work);
    if (work.empty()) return true;
    Open();
    if (work[0] == '{') {
      work = Trim(work.substr(1));
      const size_t close = work.find('}');
      if (close != std::string::npos) {
        const std::string name = Trim(work.substr(0, close));
        work = Trim(work.substr(close + 1));
        if (!name.empty()) {
          const std::optional<std::string> library = PrefixLibrary(name);
          if (!library) {
            // Building the levels in some other library than the one named would put
            // folders where nobody looks for them.
            log_.AddLogAndSeparator(
                "Warning: Library " + name +
                " named in the rule template is not a library of this DM session");
            return false;
          }
          if (!library->empty()) out_.items.back().Library = *library;
        }
      }
      // The prefix is an item of its own: the next text opens the next item.
      continue;
    }
    const size_t first = work.find('%');
    if (first == std::string::npos) {
      out_.items.back().Text = work;
      return true;
    }
    const std::string before = work.substr(0, first);
    if (!Trim(before).empty()) {
      out_.items.back().Text = before;
      Open();
    }
    work = work.substr(first + 1);
    size_t end = work.find('%');
    if (end == std::string::npos) end = work.find(' ');
    if (end == std::string::npos) {
      out_.items.back().Text = work;
      return true;
    }
    out_.items.back().Text = Trim(work.substr(0, end));
    work = work.substr(end + 1);
    ClassifyToken();
  }
}

void Parser::ClassifyToken() {
  TemplateItem& item = out_.items.back();
  const std::string upper = UCase(Trim(item.Text));
  const bool link = !upper.empty() && upper.front() == '<' && upper.back() == '>';
  if (!link) {
    PlainToken(upper);
    return;
  }
  const int link_number = static_cast<int>(out_.links.size()) + 1;
  ExternalLinkResult r =
      ParseExternalLink(upper, link_number, CurrentNumber(), env_.owner, out_.tables, log_);
  if (!r.parsed) return;
  out_.links.push_back(r.link);
  item.Text = r.item_text;
  item.Kind.clear();
}

void Parser::PlainToken(const std::string& upper) {
  TemplateItem& item = out_.items.back();
  for (size_t k = 0; k < kKeywords.size(); ++k) {
    if (upper == kKeywords[k]) item.Text = KeywordValue(k, env_);
  }
  FillEmailKeywords();
  item.Kind = item.Text == "\\" || item.Text == "/" ? kKindSeparator : kKindColumn;
}

void Parser::FillEmailKeywords() {
  if (!email_ || email_->empty()) return;
  for (size_t k = 0; k < kEmailKeywords; ++k) {
    const std::string name = kKeywords[k];
    const size_t at = email_->find(name);
    if (at == std::string::npos) continue;
    *email_ =
        email_->substr(0, at) + Trim(KeywordValue(k, env_)) + email_->substr(at + name.size());
  }
  if (*email_ != last_logged_email_) {
    log_.AddLogAndSeparator("eMail Template set to " + *email_);
    last_logged_email_ = *email_;
  }
}

void Parser::NoteHop(const std::string& from_table, const std::string& from_column,
                     const ForeignKey& key) {
  const ForeignKeyHop hop{UCase(from_table), UCase(from_column), UCase(key.table),
                          UCase(key.column)};
  for (const ForeignKeyHop& h : out_.hops) {
    if (h == hop) return;
  }
  out_.hops.push_back(hop);
}

void Parser::ResolvePath(TemplateItem& item) {
  std::string path = item.Text;
  std::string current = "PROFILE";
  std::string link_column, link_table, key_column;
  for (size_t dot = path.find('.'); dot != std::string::npos; dot = path.find('.')) {
    const std::string column = path.substr(0, dot);
    path = path.substr(dot + 1);
    const std::optional<ForeignKey> key =
        LookupForeignKey(cache_, dictionary_, env_.processing_library, column, current, log_);
    if (!key) {
      item.Kind.clear();  // selected as a literal
      return;
    }
    NoteHop(current, column, *key);
    if (item.ProfileAssignment.empty() && current == "PROFILE") {
      item.ProfileAssignment = UCase(column + " = " + key->table + "." + key->column);
    }
    link_column = column;
    link_table = current;
    key_column = key->column;
    current = key->table;
  }
  if (current == "PROFILE") {
    item.Kind = kKindLiteral;
    item.Table.clear();
  } else {
    item.Table = UCase(current);
  }
  item.Column = UCase(path);
  item.KeyColumn = UCase(key_column);
  item.LinkColumn = UCase(link_column);
  if (!link_table.empty()) item.LinkTable = UCase(link_table);
}

void Parser::ResolvePaths() {
  for (TemplateItem& item : out_.items) {
    if (item.Kind == kKindColumn && !item.Text.empty()) ResolvePath(item);
  }
}

}  // namespace

bool ParseTemplateText(std::string_view template_text, std::string* email_template,
                       const TemplateEnvironment& env, ForeignKeyCache& cache,
                       DataDictionary& dictionary, log::Log& log, ParsedTemplate* out) {
  *out = ParsedTemplate();
  out->level_count = CountTemplateLevels(template_text);
  Parser parser(email_template, env, cache, dictionary, log, *out);
  if (!parser.Scan(template_text) || out->items.empty()) {
    log.AddLogAndSeparator("Notice: Unable to parse template string - cannot continue");
    return false;
  }
  parser.ResolvePaths();
  return true;
}

bool ParseRuleTemplate(rules::RuleRecord& rule, const TemplateEnvironment& env,
                       ForeignKeyCache& cache, DataDictionary& dictionary, log::Log& log,
                       ParsedTemplate* out) {
  const std::string template_text = rule[rules::RuleKey::kTemplate];
  log.SetStatus("Parsing Rule Template " + template_text);
  log.Separator();
  log.AddLogAndSeparator(Number(CountTemplateLevels(template_text)) +
                         " level(s) identified in the rule template");
  std::string email = rule[rules::RuleKey::kEmailTemplate];
  const bool ok = ParseTemplateText(template_text, &email, env, cache, dictionary, log, out);
  rule.Set(rules::RuleKey::kEmailTemplate, email);
  return ok;
}

}  // namespace sproutsmith::templ
