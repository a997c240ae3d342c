#include "gui/splash_window.h"

#include <QLabel>
#include <QVBoxLayout>

namespace sproutsmith::gui {

SplashWindow::SplashWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint),
      caption_(new QLabel(this)),
      build_(new QLabel(this)),
      step_(new QLabel(this)) {
  setObjectName("Splash");
  step_->setObjectName("LabelStatus");
  QFont big = caption_->font();
  big.setPointSize(big.pointSize() + 4);
  big.setBold(true);
  caption_->setFont(big);
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(":/sproutsmith.svg").pixmap(64, 64));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 24, 24, 24);
  layout->addWidget(icon, 0, Qt::AlignHCenter);
  layout->addWidget(caption_, 0, Qt::AlignHCenter);
  layout->addWidget(build_, 0, Qt::AlignHCenter);
  layout->addSpacing(12);
  layout->addWidget(step_, 0, Qt::AlignHCenter);
  setStyleSheet("background: #f4f7f0;");
  resize(420, 220);
}

void SplashWindow::Show(const std::string& caption, const std::string& build,
                        const std::string& step) {
  caption_->setText(QString::fromStdString(caption));
  build_->setText(QString::fromStdString(build));
  step_->setText(QString::fromStdString(step));
  if (!isVisible()) show();
}

}  // namespace sproutsmith::gui
