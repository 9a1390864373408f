#include "speech/rtf_writer.h"

#include <cstdint>
#include <optional>

#include "platform/text_codec.h"

namespace velmor {
namespace {

constexpr TColor kRgbMask = 0x00FFFFFF;

}  // namespace

int RtfColorTable::IndexOf(TColor color) {
  color &= kRgbMask;
  const auto [it, added] = index_.try_emplace(color, static_cast<int>(colors_.size()) + 1);
  if (added) colors_.push_back(color);
  return it->second;
}

int RtfColorTable::Find(TColor color) const {
  const auto it = index_.find(color & kRgbMask);
  return it == index_.end() ? -1 : it->second;
}

int RtfColorTable::Nearest(TColor color) const {
  const auto distance = [color](TColor other) {
    int sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int d =
          static_cast<int>((color >> shift) & 0xFF) - static_cast<int>((other >> shift) & 0xFF);
      sum += d * d;
    }
    return sum;
  };
  int best = 0;
  for (std::size_t i = 0; i < colors_.size(); ++i) {
    if (best == 0 || distance(colors_[i]) < distance(colors_[static_cast<std::size_t>(best) - 1])) {
      best = static_cast<int>(i) + 1;
    }
  }
  return best;
}

void RtfColorTable::AppendEntry(std::string& out, TColor color) {
  out += "\\red" + std::to_string(color & 0xFF) + "\\green" + std::to_string((color >> 8) & 0xFF) +
         "\\blue" + std::to_string((color >> 16) & 0xFF) + ";";
}

void RtfColorTable::AppendEntriesTo(std::string& out, int first) const {
  for (std::size_t i = static_cast<std::size_t>(first) - 1; i < colors_.size(); ++i) {
    AppendEntry(out, colors_[i]);
  }
}

void RtfColorTable::AppendTo(std::string& out) const {
  out += "{\\colortbl ;";
  AppendEntriesTo(out, 1);
  out += "}";
}

void AppendRtfText(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t start = pos;
    const std::optional<char> in_code_page = Windows1252ByteOf(NextCharacter(text, pos));
    if (!in_code_page) {
      // A signed 16-bit number per UTF-16 unit, each with "?" for readers without Unicode.
      for (const char16_t unit : Utf8ToUtf16(text.substr(start, pos - start))) {
        out += "\\u";
        out += std::to_string(static_cast<std::int16_t>(unit));
        out += '?';
      }
      continue;
    }
    const char c = *in_code_page;
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

std::string RtfDocumentStart(const RtfFont& font) {
  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\n{\\fonttbl{\\f0\\fswiss\\fcharset0 ";
  AppendRtfText(out, font.name);
  out += ";}}\n";
  return out;
}

std::string RtfBodyStart(const RtfFont& font) {
  // Font sizes are given in half points.
  return "\\pard\\plain\\f0\\fs" + std::to_string(font.points * 2) + "\n";
}

void AppendRtfParagraph(std::string& out, LogLineView line, int color_index) {
  const bool bold = line.style == LogStyle::kBoldItalic;
  const bool italic = line.style != LogStyle::kRegular;
  out += "\\cf";
  out += std::to_string(color_index);
  if (bold) out += "\\b";
  if (italic) out += "\\i";
  // The blank ends the last control word; it is not part of the text.
  out += ' ';
  AppendRtfText(out, line.text);
  if (bold) out += "\\b0";
  if (italic) out += "\\i0";
  out += "\\par\n";
}

}  // namespace velmor
