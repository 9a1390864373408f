#pragma once

#include <span>
#include <string>
#include <string_view>

#include "speech/log_line.h"

// The conversation log as a Rich Text Format document.
namespace velmor {

// The font the log is set in.
struct RtfFont {
  std::string name;
  int points = 0;
};

// The whole document: an ANSI (code page 1252) header, a font table with the one font, a
// colour table of the colours the lines use (in order of first use), then one paragraph per
// line with its colour, bold and italic. Every line sets its own colour and switches bold
// and italic off again at its end, so no line takes the look of the line before it.
// Colours are taken as RGB; a system-colour flag in the top byte is ignored.
std::string RtfDocument(std::span<const LogLine> lines, const RtfFont& font);

// Appends Windows-1252 text as RTF body text, such that no byte can end the paragraph, open
// or close a group or start a control word:
// - "\", "{" and "}" are escaped;
// - a tab becomes \tab;
// - every other byte below 0x20 (CR, LF, NUL, ...) becomes a space, so a server's line
//   break neither splits the line into two paragraphs nor joins two words;
// - bytes from 0x7F up are written as \'hh.
void AppendRtfText(std::string& out, std::string_view text);

}  // namespace velmor
