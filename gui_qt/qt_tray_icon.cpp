#include "gui_qt/qt_tray_icon.h"

#include <QCursor>
#include <QPixmap>

#include "gui_qt/icon_image.h"
#include "gui_qt/win1252.h"

namespace velmor {

QtTrayIcon::QtTrayIcon(std::function<void(std::intptr_t)> notify) : notify_(std::move(notify)) {
  QObject::connect(&icon_, &QSystemTrayIcon::activated, &icon_,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::DoubleClick) notify_(kWmLButtonDblClk);
                     if (reason == QSystemTrayIcon::Context) notify_(kWmRButtonUp);
                   });
}

void QtTrayIcon::SetMenu(QMenu* menu, QWidget* window) {
  menu_ = menu;
  window_ = window;
}

bool QtTrayIcon::Available() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::Set(const IconImage& picture, const std::string& tip) {
  icon_.setIcon(QIcon(QPixmap::fromImage(ToQImage(picture))));
  icon_.setToolTip(ToQString(tip.substr(0, kTrayTipMaxLength)));
}

void QtTrayIcon::Add(const IconImage& picture, const std::string& tip) {
  Set(picture, tip);
  icon_.show();
}

void QtTrayIcon::Modify(const IconImage& picture, const std::string& tip) {
  Set(picture, tip);
}

void QtTrayIcon::Remove() {
  icon_.hide();
}

void QtTrayIcon::PopUpMenuAtCursor() {
  if (!menu_) return;
  const QPoint position = QCursor::pos();
  if (window_ && window_->isVisible()) window_->activateWindow();
  menu_->exec(position);
}

}  // namespace velmor
