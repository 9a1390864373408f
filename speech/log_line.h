#pragma once

#include <string>

#include "platform/color.h"

namespace velmor {

enum class LogStyle { kRegular, kItalic, kBoldItalic };

// One line of the conversation log: UTF-8 text, an RGB colour and a style. (Bytes that are
// not well-formed UTF-8 read as Windows-1252 characters.)
struct LogLine {
  std::string text;
  TColor color = clBlack;
  LogStyle style = LogStyle::kRegular;

  bool operator==(const LogLine&) const = default;
};

}  // namespace velmor
