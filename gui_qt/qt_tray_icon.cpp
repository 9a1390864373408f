#include "gui_qt/qt_tray_icon.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QPixmap>

#include "gui_qt/icon_image.h"
#include "gui_qt/win1252.h"

namespace velmor {
namespace {

// Qt's own test, asked when the tray icon object is made: a StatusNotifierItem host on the
// session bus means Qt registers the icon there rather than in an XEmbed tray.
bool StatusNotifierHostRegistered() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage get = QDBusMessage::createMethodCall(
      QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.kde.StatusNotifierWatcher")
      << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage reply = bus.call(get);
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
         reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

}  // namespace

QtTrayIcon::QtTrayIcon() : status_notifier_item_(StatusNotifierHostRegistered()) {
  QObject::connect(&icon_, &QSystemTrayIcon::activated, &icon_,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     const bool toggle = status_notifier_item_
                                             ? reason == QSystemTrayIcon::Trigger
                                             : reason == QSystemTrayIcon::DoubleClick;
                     if (toggle) Notify(TrayEvent::kDoubleClick);
                     // A host that does not show the exported menu asks for ours.
                     if (reason == QSystemTrayIcon::Context) Notify(TrayEvent::kRightButtonUp);
                   });
}

void QtTrayIcon::SetMenu(QMenu* menu, QWidget* window) {
  menu_ = menu;
  window_ = window;
  // Exported over D-Bus with its entries, checks, enabled states and access keys. Not on
  // XEmbed: there the icon's right click opens it through the window's handler.
  if (status_notifier_item_) icon_.setContextMenu(menu);
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
  // Not exec(): this runs inside the tray icon's own mouse event, and a menu command (the
  // exit removes the icon) must never find that event still on the stack.
  menu_->popup(position);
}

}  // namespace velmor
