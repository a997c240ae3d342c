// sproutsmith-window: the program with its window. The same engine, switches, settings, DM
// installation and log as the headless sproutsmith; the operator works it with the mouse, and
// "/G /X" still runs one cycle and ends (with the window showing its progress meanwhile).

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/engine.h"
#include "app/exit_status.h"
#include "app/program_parts.h"
#include "app/run_lock.h"
#include "gui/main_window.h"
#include "gui/qt_ui.h"
#include "platform/dmapi/installation.h"
#include "platform/os/build_version.h"
#include "platform/os/environment.h"
#include "runtime/message.h"

int main(int argc, char** argv) {
  using namespace sproutsmith;
  // Before Qt starts: neither needs a display.
  if (os::VersionRequested(std::vector<std::string>(argv + 1, argv + argc))) {
    std::cout << os::VersionLine("sproutsmith-window") << std::endl;
    return app::kExitFinished;
  }
  if (app::HelpRequested(argc, argv)) {
    std::cout << app::HelpText(std::filesystem::path(argv[0]).filename().string());
    return app::kExitFinished;
  }
  QApplication qt(argc, argv);
  std::vector<std::string> args;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

  auto env = std::make_unique<os::SystemEnvironment>();
  const std::string dm_configuration = dmapi::DefaultConfigPath(*env);
  // Before the installation is opened or made; held until the process ends.
  const app::RunLock run_lock = app::TakeRunLock(*env);
  if (!run_lock.taken()) {
    std::cerr << run_lock.StderrText();
    runtime::RunState state;
    state.CommandLine = app::BuildCommandLine(args);
    gui::QtUi box(runtime::Identity().program_title);
    runtime::ShowMessage(box, state, runtime::Identity(), run_lock.refusal,
                         runtime::MessageStyle::kCritical);
    return run_lock.exit_status;
  }
  auto ui = std::make_unique<gui::QtUi>(runtime::Identity().program_title);
  gui::QtUi& window_ui = *ui;
  app::EngineParts parts = app::SystemEngineParts(std::move(env), std::move(ui), args);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    parts.screen = {area.width() * 15L, area.height() * 15L};  // twips
  }

  app::Engine engine(std::move(parts));
  app::WatchLog(engine.log());
  gui::MainWindow window(engine, window_ui);
  window.SetDmConfiguration(dm_configuration);
  QObject::connect(&window, &gui::MainWindow::programEnded, &qt, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // Start-up runs inside the event loop, so the splash and the window can paint.
  QTimer::singleShot(0, &window, [&] { window.Start(args); });
  qt.exec();
  engine.WriteRunReport();
  return engine.ExitStatus();
}
