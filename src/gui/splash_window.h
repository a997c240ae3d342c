#pragma once
// The splash shown while start-up works: the program's caption, its build and version, and
// the current start-up step.

#include <QWidget>
#include <string>

class QLabel;

namespace sproutsmith::gui {

class SplashWindow : public QWidget {
 public:
  SplashWindow();
  void Show(const std::string& caption, const std::string& build, const std::string& step);

 private:
  QLabel* caption_;
  QLabel* build_;
  QLabel* step_;
};

}  // namespace sproutsmith::gui
