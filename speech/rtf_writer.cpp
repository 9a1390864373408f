#include "speech/rtf_writer.h"

#include <unordered_map>
#include <vector>

namespace velmor {
namespace {

constexpr TColor kRgbMask = 0x00FFFFFF;

// The colour table: index 0 is the reader's default colour, so used colours start at 1.
class ColorTable {
 public:
  int IndexOf(TColor color) {
    color &= kRgbMask;
    const auto [it, added] = index_.try_emplace(color, static_cast<int>(colors_.size()) + 1);
    if (added) colors_.push_back(color);
    return it->second;
  }

  void AppendTo(std::string& out) const {
    out += "{\\colortbl ;";
    for (const TColor color : colors_) {
      out += "\\red" + std::to_string(color & 0xFF) + "\\green" +
             std::to_string((color >> 8) & 0xFF) + "\\blue" + std::to_string((color >> 16) & 0xFF) +
             ";";
    }
    out += "}\n";
  }

 private:
  std::unordered_map<TColor, int> index_;
  std::vector<TColor> colors_;
};

}  // namespace

void AppendRtfText(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += c;
    } else if (c == '\t') {
      out += "\\tab ";
    } else if (byte < 0x20) {
      out += ' ';
    } else if (byte >= 0x7F) {
      out += "\\'";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
}

std::string RtfDocument(std::span<const LogLine> lines, const RtfFont& font) {
  ColorTable colors;
  std::vector<int> color_index;
  color_index.reserve(lines.size());
  std::size_t text_size = 0;
  for (const LogLine& line : lines) {
    color_index.push_back(colors.IndexOf(line.color));
    text_size += line.text.size();
  }

  std::string out;
  // Room for the text and about 30 bytes of control words per line.
  out.reserve(text_size + lines.size() * 32 + 256);
  out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\n{\\fonttbl{\\f0\\fswiss\\fcharset0 ";
  AppendRtfText(out, font.name);
  out += ";}}\n";
  colors.AppendTo(out);
  // Font sizes are given in half points.
  out += "\\pard\\plain\\f0\\fs" + std::to_string(font.points * 2) + "\n";

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const LogLine& line = lines[i];
    const bool bold = line.style == LogStyle::kBoldItalic;
    const bool italic = line.style != LogStyle::kRegular;
    out += "\\cf";
    out += std::to_string(color_index[i]);
    if (bold) out += "\\b";
    if (italic) out += "\\i";
    // The blank ends the last control word; it is not part of the text.
    out += ' ';
    AppendRtfText(out, line.text);
    if (bold) out += "\\b0";
    if (italic) out += "\\i0";
    out += "\\par\n";
  }
  out += "}\n";
  return out;
}

}  // namespace velmor
