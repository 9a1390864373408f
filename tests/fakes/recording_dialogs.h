#pragma once

#include <functional>
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
    WhileOpen();
  }
  void ShowWarning(const std::string& text, const std::string& caption) override {
    boxes.push_back({Box::kWarning, text, caption});
    WhileOpen();
  }

  std::vector<Box> boxes;
  // Runs once, while the next box is "open": what its loop may deliver meanwhile.
  std::function<void()> while_next_open;

 private:
  void WhileOpen() {
    auto events = std::move(while_next_open);
    while_next_open = nullptr;
    if (events) events();
  }
};

}  // namespace velmor::testing
