#pragma once

#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace velmor::testing {

// Remembers every message box instead of showing it.
class RecordingDialogs : public Dialogs {
 public:
  struct Box {
    enum Kind { kError, kWarning } kind;
    std::string text;
    std::string caption;
  };

  void ShowError(const std::string& text, const std::string& caption) override {
    boxes.push_back({Box::kError, text, caption});
  }
  void ShowWarning(const std::string& text, const std::string& caption) override {
    boxes.push_back({Box::kWarning, text, caption});
  }

  std::vector<Box> boxes;
};

}  // namespace velmor::testing
