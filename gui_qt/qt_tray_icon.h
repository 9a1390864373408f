#pragma once

#include <QMenu>
#include <QSystemTrayIcon>

#include "platform/tray_icon.h"

namespace velmor {

// The notification-area icon through QSystemTrayIcon, on either tray protocol Qt picks at
// start. On an XEmbed tray a left double-click and a right click reach the window's handler
// as TrayEvent::kDoubleClick and kRightButtonUp. A StatusNotifierItem host delivers no
// double-click: there a single activation counts as the double-click, and the menu is
// exported for the host to show. Main thread only.
class QtTrayIcon : public TrayIcon {
 public:
  QtTrayIcon();

  // The menu to pop up and the window to bring to the front first; set once the window
  // exists.
  void SetMenu(QMenu* menu, QWidget* window);
  // Whether the icon is a StatusNotifierItem (else an XEmbed icon, or none at all).
  bool StatusNotifierItem() const { return status_notifier_item_; }

  bool Available() const override;
  void Add(const IconImage& picture, const std::string& tip) override;
  void Modify(const IconImage& picture, const std::string& tip) override;
  void Remove() override;
  void PopUpMenuAtCursor() override;

 private:
  void Set(const IconImage& picture, const std::string& tip);

  QSystemTrayIcon icon_;
  bool status_notifier_item_ = false;
  QMenu* menu_ = nullptr;
  QWidget* window_ = nullptr;
};

}  // namespace velmor
