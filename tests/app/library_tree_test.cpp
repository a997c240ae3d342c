// The library/rule tree over real libraries: rule loading on expansion with its filters,
// saved marks and rights test, the library menu and the chooser.

#include "app/library_tree.h"

#include <gtest/gtest.h>

#include "cycle_session.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

class LibraryTreeTest : public CycleSession {
 protected:
  std::vector<std::string> RuleTexts(const std::string& library) {
    std::vector<std::string> texts;
    for (const CheckNode& node : Library(library).rules) texts.push_back(node.text);
    return texts;
  }
  // The logged-on user loses DOCS_SUPERVISORS and every right in `library`.
  void TakeRights(const std::string& library) {
    const std::string users = "(SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_USERS')";
    install_.Exec(library,
                  "UPDATE PEOPLE SET PRIMARY_GROUP = " + users + " WHERE USER_ID = 'DMADMIN'");
    install_.Exec(library,
                  "DELETE FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM PEOPLE "
                  "WHERE USER_ID = 'DMADMIN') AND GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID FROM GROUPS "
                  "WHERE GROUP_ID = 'DOCS_SUPERVISORS')");
    install_.Exec(library, "UPDATE STANDIN_RIGHTS SET ALLOWED = 0 WHERE USER_ID = 'DMADMIN'");
  }
};

TEST_F(LibraryTreeTest, ExpandingLoadsTheShownRulesWithTheirMarksAndReconnectsTheLibrary) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}}, [this] {
    install_.AddRule("ARCHIVE", "*DELETED* OLD CLIENTS", [](schema::RuleDefinition&) {});
    install_.AddRule("ARCHIVE", "NIGHTLY", [](schema::RuleDefinition& r) {
      r.SetText("RULE_PURPOSE", "Monthly maintenance");
    });
    install_.settings.Save(kProduct, kRules, "ARCHIVE:CLIENTS", "0");
  });
  install_.options.LabelStatus = "Waiting for user input";
  ASSERT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(RuleTexts("ARCHIVE"), std::vector<std::string>{"[]"});

  EXPECT_TRUE(tree().ExpandLibraryNode(Library("ARCHIVE")));
  EXPECT_EQ(RuleTexts("ARCHIVE"), (std::vector<std::string>{"CLIENT MATTERS", "CLIENTS"}));
  EXPECT_EQ(Mark("ARCHIVE", "CLIENT MATTERS"), "checked");  // no saved mark
  EXPECT_EQ(Mark("ARCHIVE", "CLIENTS"), "unchecked");
  EXPECT_EQ(Count("Setting 4 rule(s) for Node ARCHIVE"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(install_.options.LabelStatus, "Waiting for user input");
  EXPECT_FALSE(install_.ui.busy);

  // The cycle never meets the hidden rules.
  install_.state.CommandLine = "/G";
  ASSERT_TRUE(cycle().Go());
  EXPECT_EQ(Count("Processing library ARCHIVE rule CLIENT MATTERS"), 1);
  EXPECT_EQ(Count("rule NIGHTLY"), 0);
  EXPECT_EQ(Count("rule *DELETED*"), 0);
}

TEST_F(LibraryTreeTest, ALibraryWithoutRightsIsUncheckedWithoutRules) {
  Start({{.name = "DEMO"}, {.name = "LOCKED"}}, [this] { TakeRights("LOCKED"); });
  const std::string refusal =
      "Error: DMADMIN does not have rights to manage folders in library LOCKED";
  EXPECT_TRUE(tree().ExpandLibraryNode(Library("LOCKED")));
  EXPECT_FALSE(Library("LOCKED").checked);
  EXPECT_TRUE(Library("LOCKED").rules.empty());
  ASSERT_EQ(install_.ui.messages.size(), 1u);
  EXPECT_EQ(install_.ui.messages[0].text, refusal);
  EXPECT_EQ(install_.ui.messages[0].style, MessageStyle::kExclamation);
  EXPECT_EQ(Count("does not have rights to manage folders in library LOCKED"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");

  // A supervisor by primary group needs no rights rows.
  install_.Exec("LOCKED",
                "UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = "
                "'DOCS_SUPERVISORS') WHERE USER_ID = 'DMADMIN'");
  LibraryNode again = ReadLibraryNode(install_.settings, kProduct, "LOCKED");
  EXPECT_TRUE(tree().ExpandLibraryNode(again));
  EXPECT_TRUE(again.checked);
  EXPECT_EQ(again.rules.size(), 2u);
}

TEST_F(LibraryTreeTest, TheLibraryMenuAndTheChooserConnectOtherLibraries) {
  Start({{.name = "DEMO"}, {.name = "ARCHIVE"}});
  install_.options.LabelStatus = "Waiting for user input";
  tree().ClickLibraryMenuEntry("DEMO");
  EXPECT_EQ(Count("Switching to library"), 0);
  tree().ClickLibraryMenuEntry("ARCHIVE");
  EXPECT_EQ(Count("Switching to library ARCHIVE"), 1);
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
  EXPECT_EQ(install_.options.LabelStatus, "Waiting for user input");

  install_.ui.files = {"", "DEMO"};
  EXPECT_FALSE(tree().SelectLibrary());
  ASSERT_EQ(install_.ui.messages.size(), 1u);
  EXPECT_EQ(install_.ui.messages[0].text, "Selection canceled");
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
  EXPECT_TRUE(tree().SelectLibrary());
  EXPECT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(Count("Selecting library to process"), 1);  // a repeated line is logged once
}

}  // namespace
}  // namespace sproutsmith::app
