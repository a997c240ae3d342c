// Pictures of the window for people to look at: the main window at its default size while a
// demo cycle works and after it, the tracking viewer and the saved-SQL editor, as PNG files
// in build/screenshots/ (the after-cycle one is docs/window.png of the README).

#include <QPixmap>
#include <QPlainTextEdit>

#include "desktop_fixture.h"
#include "gui/saved_sql_dialog.h"
#include "gui/tracking_viewer_dialog.h"
#include "tools/saved_sql.h"
#include "tools/tracking_viewer.h"

namespace sproutsmith::gui {
namespace {

using ScreenshotTest = DesktopTest;

bool Save(QWidget& widget, const std::string& path) {
  const QPixmap picture = widget.grab();
  return !picture.isNull() && picture.width() > 100 && picture.save(QString::fromStdString(path));
}

TEST_F(ScreenshotTest, TheMainWindowDuringACycleAndBothMaintenanceWindows) {
  Install();
  Open();
  // The first rule of the second library half done: counters, a working row, finished rows.
  bool taken = false;
  {
    Sampler sampler([&] {
      const auto& results = engine_->options().ListResults;
      if (taken || results.size() < 3 || engine_->options().LabelRead != "3") return;
      window_->SyncFromModels();  // the window shows the models at most 25 times a second
      taken = Save(*window_, ScreenshotPath("main_window_cycle.png"));
    });
    window_->ClickGo();
  }
  EXPECT_TRUE(taken);
  EXPECT_TRUE(Save(*window_, ScreenshotPath("main_window_done.png")));

  tools::TrackingViewer viewer(engine_->context(), session_->connection());
  script_.files = {"DEMO"};
  ASSERT_TRUE(viewer.Open([this] { return session_->tree().SelectLibrary(); }));
  {
    TrackingViewerDialog dialog(viewer);
    dialog.show();
    dialog.SortByColumn(2);
    dialog.list()->topLevelItem(1)->setSelected(true);
    dialog.list()->topLevelItem(2)->setSelected(true);
    EXPECT_TRUE(Save(dialog, ScreenshotPath("tracking_viewer.png")));
  }
  viewer.Close();

  tools::SavedSqlEditor editor(engine_->context(), session_->connection(), session_->rules(),
                               "DEMO", "CLIENTS");
  SavedSqlDialog dialog(editor);
  dialog.show();
  dialog.findChild<QPlainTextEdit*>("TextRuleSQL")
      ->setPlainText(
          "SELECT DISTINCT C.CLIENT_ID, C.SYSTEM_ID\nFROM [OWNER].CLIENT C\n"
          "WHERE C.SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].QUIL_SPROUTSMITH\n"
          "  WHERE TABLE_NAME = 'CLIENT' AND RULE_NAME = 'CLIENTS')");
  EXPECT_TRUE(Save(dialog, ScreenshotPath("saved_sql_editor.png")));
  script_.answers = {runtime::Answer::kYes};
  dialog.reject();
}

}  // namespace
}  // namespace sproutsmith::gui
