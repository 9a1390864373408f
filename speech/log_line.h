#pragma once

#include <string>

#include "platform/color.h"

namespace velmor {

enum class LogStyle { kRegular, kItalic, kBoldItalic };

// One line of the conversation log: Windows-1252 text, an RGB colour and a style.
struct LogLine {
  std::string text;
  TColor color = clBlack;
  LogStyle style = LogStyle::kRegular;

  bool operator==(const LogLine&) const = default;
};

}  // namespace velmor
