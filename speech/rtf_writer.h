#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
//
// The pieces below are what it is made of, in this order, for a writer that adds lines to
// a document already on disk: RtfDocumentStart, the colour table, RtfBodyStart, one
// RtfParagraph per line, kRtfDocumentEnd.
// `Lines`: a vector or span of LogLines, or ConversationLog::Lines().
template <typename Lines>
std::string RtfDocument(const Lines& lines, const RtfFont& font);

// The colour table: entry 0 is the reader's default colour, so used colours start at 1.
class RtfColorTable {
 public:
  // The entry of the colour, added at the end when it is new.
  int IndexOf(TColor color);
  // The entry of the colour, or -1 when the table lacks it.
  int Find(TColor color) const;
  // The entry whose colour is closest to `color`; 0 (the default) in an empty table.
  int Nearest(TColor color) const;
  std::size_t Size() const { return colors_.size(); }
  // "{\colortbl ;...}" without a line break.
  void AppendTo(std::string& out) const;
  // Entries from `first` (counting from 1) on: what AppendTo writes before the closing "}".
  void AppendEntriesTo(std::string& out, int first) const;
  // One colour's entry: "\redR\greenG\blueB;".
  static void AppendEntry(std::string& out, TColor color);
  // The longest entry any colour takes.
  static constexpr std::size_t kLongestEntry = 25;  // \red255\green255\blue255;

 private:
  std::unordered_map<TColor, int> index_;
  std::vector<TColor> colors_;
};

// The header up to the colour table: "{\rtf1...", the font table and a line break.
std::string RtfDocumentStart(const RtfFont& font);
// What follows the colour table's line: the paragraph defaults with the font's size.
std::string RtfBodyStart(const RtfFont& font);
// One line as a paragraph in the colour of the table's entry `color_index`.
void AppendRtfParagraph(std::string& out, LogLineView line, int color_index);
inline constexpr std::string_view kRtfDocumentEnd = "}\n";

// Appends UTF-8 text as RTF body text of a Windows-1252 document, such that no byte can end
// the paragraph, open or close a group or start a control word:
// - "\", "{" and "}" are escaped;
// - a tab becomes \tab;
// - every other character below 0x20 (CR, LF, NUL, ...) becomes a space, so a server's line
//   break neither splits the line into two paragraphs nor joins two words;
// - a character Windows-1252 has from 0x7F up is written as \'hh with its byte, so text
//   of that code page reads byte for byte as it always did;
// - any other character as \uN? for each of its UTF-16 units (N signed), "?" standing in
//   for readers that know no Unicode.
void AppendRtfText(std::string& out, std::string_view text);

template <typename Lines>
std::string RtfDocument(const Lines& lines, const RtfFont& font) {
  RtfColorTable colors;
  std::vector<int> color_index;
  color_index.reserve(lines.size());
  std::size_t text_size = 0;
  for (const LogLineView line : lines) {
    color_index.push_back(colors.IndexOf(line.color));
    text_size += line.text.size();
  }

  std::string out;
  // Room for the text and about 30 bytes of control words per line.
  out.reserve(text_size + color_index.size() * 32 + 256);
  out += RtfDocumentStart(font);
  colors.AppendTo(out);
  out += '\n';
  out += RtfBodyStart(font);
  std::size_t i = 0;
  for (const LogLineView line : lines) AppendRtfParagraph(out, line, color_index[i++]);
  out += kRtfDocumentEnd;
  return out;
}

}  // namespace velmor
