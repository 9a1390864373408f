#pragma once

#include <QHash>
#include <QMenu>
#include <QWidget>

#include "shell/UOListener.h"

namespace velmor {

class MediaBar;

// The Qt window of TMainForm: one widget per control, kept in step with the controls'
// state through their observers; the user's typing and clicks go back to the controls.
// Closing asks TMainForm::FormClose. Main thread only.
class MainWindowView : public QWidget {
 public:
  explicit MainWindowView(TMainForm& form);

  // PopupMenu1, shared with the tray icon.
  QMenu& PopupMenu() { return *menu_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void BuildTimers();
  QWidget* Place(TControl& control, QWidget* widget);
  void SyncWindow();

  TMainForm& form_;
  QHash<const TControl*, QWidget*> widgets_;
  QWidget* panel_ = nullptr;
  QMenu* menu_ = nullptr;
  MediaBar* media_bar_ = nullptr;
};

}  // namespace velmor
