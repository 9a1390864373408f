#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "platform/dialogs.h"

class QMessageBox;

namespace velmor {

// Modal QMessageBoxes over the main window (or over nothing before it exists).
class QtDialogs : public Dialogs {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowError(const std::string& text, const std::string& caption) override;
  void ShowWarning(const std::string& text, const std::string& caption) override;

  // The program is ending: closes every open box (each one's loop would hold the exit back)
  // and shows no box from now on.
  void CloseAll();

 private:
  void Show(int icon, const std::string& text, const std::string& caption);

  QWidget* parent_ = nullptr;
  bool closed_ = false;
  // Boxes can nest: a signal's exit steps may warn while a start-up error is still open.
  std::vector<QPointer<QMessageBox>> open_;
};

}  // namespace velmor
