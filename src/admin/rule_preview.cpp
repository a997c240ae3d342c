#include "admin/rule_preview.h"

#include "app/processing_cycle.h"
#include "app/rule_setup.h"
#include "dm/reconnect.h"
#include "folders/folder_lookup.h"
#include "folders/row_plan.h"
#include "log/error_trap.h"
#include "template/compiler.h"
#include "template/template_levels.h"
#include "text/text.h"

namespace sproutsmith::admin {

using rules::RuleKey;
using text::Number;
using text::Trim;
using text::UCase;

namespace {

class Preview {
 public:
  Preview(Context& context, dm::Connection& connection, rules::RuleStore& store,
          std::string library)
      : c_(context), conn_(connection), store_(store), library_(std::move(library)) {}

  RulePreview Run(const std::string& rule_name, int limit) {
    RulePreview out;
    if (!conn_.ConnectLibrary(library_)) {
      out.problem = "unable to connect to library " + library_;
      return out;
    }
    const int index = store_.Find(conn_.LibraryName(), rule_name);
    if (index == 0) {
      out.problem = "Rule " + rule_name + " not found in library " + library_;
      return out;
    }
    c_.log.AddLogAndSeparator("Preview of rule " + rule_name + " in library " + library_ +
                              " - nothing is written");
    std::string saved = app::SavedStatementOf(store_.Rule(index));
    rule_ = app::TrimmedCopy(store_.Rule(index));
    std::string reuse;
    if (c_.options.CheckReUseSQL != 0) {
      reuse = app::ChooseReusedStatement(store_, conn_.LibraryName(), rule_name, &saved).statement;
    }
    const long level = static_cast<long>(rule_.Number(RuleKey::kAutofolderLevel));
    if (level != 0)
      rule_.Set(RuleKey::kTemplate, templ::CutTemplateLevels(rule_[RuleKey::kTemplate], level));

    // Initialize mode deletes tracking rows while it compiles; a preview never runs in it.
    const int initialize = c_.options.CheckInitialize;
    c_.options.CheckInitialize = 0;
    templ::TemplateCompiler compiler(c_, conn_, store_);
    const templ::CompiledRule compiled =
        compiler.Compile(rule_, {conn_.LibraryName(), app::RowLimit(c_.options), reuse, saved});
    c_.options.CheckInitialize = initialize;
    switch (compiled.outcome) {
      case templ::CompiledRule::Outcome::kTemplateFailed:
        out.problem = "the template of rule " + rule_name + " could not be read";
        return out;
      case templ::CompiledRule::Outcome::kIncomplete:
        out.problem = "the statement of rule " + rule_name + " is incomplete - check its syntax";
        return out;
      case templ::CompiledRule::Outcome::kSelected:
        break;
    }
    out.statement = compiled.selection.statement;
    out.matched = compiled.intake.matched;
    out.rows_read = compiled.intake.rows_read;
    if (out.matched == 0) {
      dmapi::SqlObject* sql = conn_.sql();
      const int code = sql != nullptr ? sql->GetSQLErrorCode() : 0;
      if (!dm::SqlSucceeded(code)) {
        out.problem = "the statement failed with SQL error " + Number(code) + " (" +
                      Trim(sql->ErrDescription()) + ")";
        return out;
      }
    }
    const rules::ResultTable& result = compiled.intake.result;
    for (int r = 1; r <= out.rows_read && r <= limit; ++r) {
      std::vector<std::string> headings(1), values(1);
      for (int col = 1; col <= result.ColumnCount(); ++col) {
        headings.push_back(result.Heading(col));
        values.push_back(result.Cell(r, col));
      }
      const folders::RowPlan plan = folders::PlanRow(c_.log, headings, values, r, out.rows_read,
                                                     compiled.parsed, compiled.selection, level);
      out.rows.push_back(Walk(plan));
    }
    return out;
  }

 private:
  // The level loop of the folder builder, with each folder looked up and none made.
  PreviewRow Walk(const folders::RowPlan& plan) {
    PreviewRow row;
    const std::string& email_name = rule_[RuleKey::kEmailName];
    const std::string& email_library = rule_[RuleKey::kEmailLibrary];
    const folders::NameParse parse = folders::NameParse::Read(rule_[RuleKey::kParseCharacters]);
    long long parent = 0;
    bool under_new = false;
    std::string path;
    for (int level = 1; level <= plan.LevelCount(); ++level) {
      std::string name = Trim(plan.level_names[static_cast<size_t>(level - 1)]);
      if (name.empty()) {
        if (level == plan.LevelCount()) break;
        if (level == 1) {
          row.no_folders = true;
          break;
        }
        row.folders.push_back({PreviewFolder::State::kBlank, level, path});
        continue;
      }
      name = folders::CollapseSpaces(name);
      path += (path.empty() ? "" : "\\") + name;
      PreviewFolder folder{PreviewFolder::State::kNew, level, path, library_};
      if (UCase(Trim(email_name)) == UCase(name) && !email_library.empty()) {
        folder.library = email_library;
      }
      if (!under_new) Look(folder, name, parse, parent);
      row.folders.push_back(folder);
      if (folder.state == PreviewFolder::State::kSearchFailed) break;
      under_new = folder.state == PreviewFolder::State::kNew;
      parent = folder.number;
    }
    return row;
  }

  void Look(PreviewFolder& folder, const std::string& name, const folders::NameParse& parse,
            long long parent) {
    dm::Reconnect back(conn_);
    if (!conn_.ConnectLibrary(folder.library)) {
      folder.state = PreviewFolder::State::kSearchFailed;
      return;
    }
    const folders::FolderMatch match =
        folders::FindFolder(conn_, name, {0, folder.library, parent, library_}, rule_);
    if (match.number < 0) {
      folder.state = PreviewFolder::State::kSearchFailed;
    } else if (match.number > 0) {
      folder.state = PreviewFolder::State::kExists;
      folder.number = match.number;
      if (UCase(match.name) != UCase(name)) {
        folder.found_name = match.name;
        folder.renamed = parse.count != 0;
      }
    }
  }

  Context& c_;
  dm::Connection& conn_;
  rules::RuleStore& store_;
  std::string library_;
  rules::RuleRecord rule_;
};

}  // namespace

RulePreview PreviewRule(Context& context, dm::Connection& connection, rules::RuleStore& store,
                        const std::string& library, const std::string& rule, int limit) {
  RulePreview broken;
  broken.problem = "the preview broke off (the daily log says why)";
  return log::Trap(context.log, "Preview", broken, [&] {
    dm::Reconnect back(connection);
    return Preview(context, connection, store, library).Run(rule, limit);
  });
}

}  // namespace sproutsmith::admin
