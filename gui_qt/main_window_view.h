#pragma once

#include <QHash>
#include <QMenu>
#include <QWidget>

#include "shell/UOListener.h"

namespace velmor {

class MediaBar;

// The Qt window of TMainForm, built by walking the form's declaration: one widget per
// control, kept in step with the control's state through its observer; the user's typing
// and clicks go back to the controls. Closing asks TMainForm::FormClose. Main thread only.
class MainWindowView : public QWidget {
 public:
  explicit MainWindowView(TMainForm& form);

  // PopupMenu1, shared with the tray icon.
  QMenu& PopupMenu() { return *menu_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* Make(TControl& control, QWidget* parent);
  void Sync(const TControl& control, QWidget& widget);
  void BuildControls();
  void BuildMenu();
  // Puts one control's widget where the form's layout says, at the window's current size.
  void Place(const TControl& control);
  void SyncWindow();

  TMainForm& form_;
  QHash<const TControl*, QWidget*> widgets_;
  QMenu* menu_ = nullptr;
  MediaBar* media_bar_ = nullptr;
};

}  // namespace velmor
