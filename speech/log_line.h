#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/color.h"

namespace velmor {

enum class LogStyle : std::uint8_t { kRegular, kItalic, kBoldItalic };

// One line of the conversation log: UTF-8 text, an RGB colour and a style. (Bytes that are
// not well-formed UTF-8 read as Windows-1252 characters.)
struct LogLine {
  std::string text;
  TColor color = clBlack;
  LogStyle style = LogStyle::kRegular;

  bool operator==(const LogLine&) const = default;
};

// A line as the conversation log hands it out: its text is a view into the log's store,
// valid while the log lives.
struct LogLineView {
  std::string_view text;
  TColor color = clBlack;
  LogStyle style = LogStyle::kRegular;

  LogLineView() = default;
  LogLineView(std::string_view text, TColor color, LogStyle style)
      : text(text), color(color), style(style) {}
  // NOLINTNEXTLINE(google-explicit-constructor): a line is read the same, kept or not.
  LogLineView(const LogLine& line) : text(line.text), color(line.color), style(line.style) {}

  LogLine Copy() const { return LogLine{std::string(text), color, style}; }
  bool operator==(const LogLineView&) const = default;
};

}  // namespace velmor
