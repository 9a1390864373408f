#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>

#include "platform/tray_icon.h"

namespace velmor {

// The notification-area icon through QSystemTrayIcon. A left double-click and a right
// click reach the window's handler as kWmLButtonDblClk and kWmRButtonUp. Main thread only.
class QtTrayIcon : public TrayIcon {
 public:
  explicit QtTrayIcon(std::function<void(std::intptr_t)> notify);

  // The menu to pop up and the window to bring to the front first; set once the window
  // exists.
  void SetMenu(QMenu* menu, QWidget* window);

  bool Available() const override;
  void Add(const IconImage& picture, const std::string& tip) override;
  void Modify(const IconImage& picture, const std::string& tip) override;
  void Remove() override;
  void PopUpMenuAtCursor() override;

 private:
  void Set(const IconImage& picture, const std::string& tip);

  QSystemTrayIcon icon_;
  std::function<void(std::intptr_t)> notify_;
  QMenu* menu_ = nullptr;
  QWidget* window_ = nullptr;
};

}  // namespace velmor
