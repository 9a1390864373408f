#pragma once

#include <QWidget>

#include "platform/dialogs.h"

namespace velmor {

// Modal QMessageBoxes over the main window (or over nothing before it exists).
class QtDialogs : public Dialogs {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowError(const std::string& text, const std::string& caption) override;
  void ShowWarning(const std::string& text, const std::string& caption) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace velmor
