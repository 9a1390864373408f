#pragma once

#include <string>

namespace velmor {

// Modal message boxes with one OK button. Texts are Windows-1252. Main thread only.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Stop icon: the general error box.
  virtual void ShowError(const std::string& text, const std::string& caption) = 0;
  // Exclamation-mark icon: the program's own warnings.
  virtual void ShowWarning(const std::string& text, const std::string& caption) = 0;
};

}  // namespace velmor
