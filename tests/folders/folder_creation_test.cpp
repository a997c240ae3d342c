// Creating a folder through the DM API: what a new top-level folder's rows hold, the
// operator's confirmation, rights, forms and the public flag. (Linking under a parent is
// exercised with the whole row walk.)

#include "folders/folder_creation.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "folders/library_session.h"

namespace sproutsmith::folders {
namespace {

using rules::RuleKey;
using runtime::Answer;

class FolderCreationTest : public testing::LibrarySession {
 protected:
  void SetUp() override {
    Start({{.name = "LIB"}});
    rule_.Set(RuleKey::kName, "R1");
    rule_.Set(RuleKey::kCreatePublicFolders, "1");
    rule_.Set(RuleKey::kForm, "*DEFAULT FORM*");
    creator_ = std::make_unique<FolderCreator>(context(), connection());
  }
  long long Create(const std::string& name, int level = 1) {
    return creator_->CreateFolder({name, {}, level}, rule_, ErrorMode::kSilent);
  }
  // The folder's rows: its name, application, typist and form, its FOLDER row's PATH and
  // whether it has a LAST_UPDATE, its ROOT_OBJECT name and its activity rows of the kinds a
  // folder must not have.
  std::string Rows(long long doc) {
    return Scalar("LIB",
                  "SELECT P.DOCNAME || '|' || A.APPLICATION || '|' || U.USER_ID || '|' || "
                  "F.FORM_NAME || '|' || D.PATH || '|' || (D.LAST_UPDATE IS NOT NULL) || '|' || "
                  "COALESCE(R.DISPLAYNAME, '-') || '|' || (SELECT COUNT(*) FROM ACTIVITYLOG L "
                  "WHERE L.ACTIVITY_TYPE IN (45, 46, 47) AND L.DOCNUMBER = P.DOCNUMBER) FROM "
                  "PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION JOIN PEOPLE U ON "
                  "U.SYSTEM_ID = P.TYPIST JOIN FORMS F ON F.SYSTEM_ID = P.FORM JOIN FOLDER D ON "
                  "D.DOCNUMBER = P.DOCNUMBER LEFT JOIN ROOT_OBJECT R ON R.DOCNUMBER = "
                  "P.DOCNUMBER WHERE P.DOCNUMBER = " +
                      N(doc));
  }
  // The logged-on user loses DOCS_SUPERVISORS; `rights` are granted instead.
  void Demote(const std::vector<std::string>& rights) {
    Exec("LIB",
         "UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = "
         "'LITIGATION') WHERE USER_ID = 'DMADMIN'");
    Exec("LIB",
         "DELETE FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM PEOPLE "
         "WHERE USER_ID = 'DMADMIN')");
    Exec("LIB", "DELETE FROM STANDIN_RIGHTS WHERE USER_ID = 'DMADMIN'");
    for (const std::string& right : rights) {
      Exec("LIB", "INSERT INTO STANDIN_RIGHTS (USER_ID, RIGHT_NAME, ALLOWED) VALUES ('DMADMIN', '" +
                      right + "', 1)");
    }
  }

  rules::RuleRecord rule_;
  std::unique_ptr<FolderCreator> creator_;
};

TEST_F(FolderCreationTest, ANewTopLevelFolderPublicOrNotWithItsForm) {
  const long long folder = Create("FIRM MATTERS");
  ASSERT_GT(folder, 0) << Dump();
  EXPECT_FALSE(creator_->FolderExisted());
  EXPECT_EQ(Rows(folder), "FIRM MATTERS|FOLDER|DMADMIN|FOLDER_PROF|ARBORLINE R1|1|FIRM MATTERS|0");
  EXPECT_EQ(Count("Saving Folder to change form to"), 0);  // the default form: one save
  EXPECT_EQ(Count("Error: "), 0) << Dump();

  // Found the second time: nothing is written.
  const std::string profiles = Scalar("LIB", "SELECT COUNT(*) FROM PROFILE");
  EXPECT_EQ(Create("FIRM MATTERS"), folder);
  EXPECT_TRUE(creator_->FolderExisted());
  EXPECT_EQ(Scalar("LIB", "SELECT COUNT(*) FROM PROFILE"), profiles);
  EXPECT_TRUE(Once({"Folder \"FIRM MATTERS\" already exists as folder #" + N(folder)}));

  // A named form and a folder that is not public.
  rule_.Set(RuleKey::kForm, "FOLDER_PROF");
  rule_.Set(RuleKey::kCreatePublicFolders, "0");
  const long long private_folder = Create("PRIVATE");
  ASSERT_GT(private_folder, 0) << Dump();
  EXPECT_EQ(Rows(private_folder), "PRIVATE|FOLDER|DMADMIN|FOLDER_PROF|ARBORLINE R1|1|-|0");
  EXPECT_TRUE(
      Once({"Saving Folder to change form to FOLDER_PROF", "Not setting profile object #"}));
}

TEST_F(FolderCreationTest, TheOperatorConfirmsEveryNewTopLevelFolder) {
  connection().library_state().settings.TopLevelWarning = 1;
  const std::string profiles = Scalar("LIB", "SELECT COUNT(*) FROM PROFILE");

  install_.ui.answers = {Answer::kCancel};
  EXPECT_EQ(Create("ASKED"), 0);
  EXPECT_FALSE(install_.state.CancelRequested);
  EXPECT_TRUE(
      Once({"You have decided not to create a top-level folder named \"ASKED\" in library LIB"}));

  install_.ui.answers = {Answer::kNo};
  EXPECT_EQ(Create("ASKED"), 0);
  EXPECT_TRUE(install_.state.CancelRequested);  // No stops the whole cycle
  EXPECT_EQ(install_.ui.messages.back().text,
            "Sproutsmith stopped by user at point where it was going to create a top-level "
            "folder named \"ASKED\" in library LIB");
  EXPECT_EQ(Scalar("LIB", "SELECT COUNT(*) FROM PROFILE"), profiles);

  install_.state.CancelRequested = false;
  install_.ui.answers = {Answer::kYes};
  EXPECT_GT(Create("ASKED"), 0);
  EXPECT_EQ(Count("I will create a top-level folder named \"ASKED\" in library LIB"), 1);
  EXPECT_EQ(install_.ui.messages.size(), 4u);  // three questions, one notice
  EXPECT_NE(install_.ui.messages[0].text.find(
                "You are about to create a top-level folder named \"ASKED\" in library LIB at "),
            std::string::npos);
}

TEST_F(FolderCreationTest, RightsToCreateFolders) {
  Demote({});
  EXPECT_EQ(Create("NO RIGHTS"), 0);
  EXPECT_TRUE(
      Once({"Library Administrator does not have rights to manage folders in library LIB"}));
  // Creating folders, but not managing root folders: no public top level.
  Demote({"User.CreateFolder"});
  EXPECT_EQ(Create("PUBLIC"), 0);
  rule_.Set(RuleKey::kCreatePublicFolders, "0");
  EXPECT_GT(Create("PRIVATE"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::folders
