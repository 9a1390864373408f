#pragma once

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_codec.h"

// A small RTF reader for tests, written apart from the writer so that a test checks what a
// reader sees rather than what the writer meant. It knows groups, control words and
// symbols, \'hh (Windows-1252), \uN with \ucN fallbacks, the font and colour tables, \par,
// \tab, \cf, \b, \i, \plain and \fs, and skips other destinations. Body text comes out as
// UTF-8. Malformed input gives an error, never a crash: it is also fed arbitrary bytes.
namespace velmor::testing {

struct RtfRun {
  std::string text;  // UTF-8
  int color_index = 0;
  bool bold = false;
  bool italic = false;
  int font_half_points = 24;

  bool SameLook(const RtfRun& other) const {
    return color_index == other.color_index && bold == other.bold && italic == other.italic &&
           font_half_points == other.font_half_points;
  }
};

struct RtfParagraph {
  std::vector<RtfRun> runs;

  std::string Text() const {
    std::string text;
    for (const RtfRun& run : runs) text += run.text;
    return text;
  }
};

struct RtfColor {
  int red = 0;
  int green = 0;
  int blue = 0;
  bool automatic = false;  // the empty entry: the reader's default colour
};

struct RtfContent {
  std::string error;  // empty when the document was read without fault
  int code_page = 0;
  std::vector<std::string> fonts;
  std::vector<RtfColor> colors;
  std::vector<RtfParagraph> paragraphs;
  RtfParagraph unfinished;  // text after the last \par
  std::vector<std::string> unknown_words;

  bool ok() const { return error.empty(); }
};

namespace rtf_reader_detail {

enum class Destination { kBody, kFontTable, kColorTable, kSkip };

struct State {
  Destination destination = Destination::kBody;
  int color_index = 0;
  bool bold = false;
  bool italic = false;
  int font_half_points = 24;
  int fallback_characters = 1;  // \uc: what stands in for a \u character in older readers
};

class Reader {
 public:
  explicit Reader(std::string_view input) : in_(input) {}

  RtfContent Read() {
    if (in_.substr(0, 6) != "{\\rtf1") return Fail("no {\\rtf1 header");
    while (pos_ < in_.size() && doc_.ok()) {
      const char c = in_[pos_++];
      if (c == '{') {
        if (stack_.size() >= kMaxDepth) return Fail("groups nested too deep");
        stack_.push_back(stack_.empty() ? State{} : stack_.back());
      } else if (c == '}') {
        if (stack_.empty()) return Fail("unbalanced }");
        if (stack_.back().destination == Destination::kColorTable && color_started_) {
          return Fail("colour table entry without ;");
        }
        stack_.pop_back();
        if (stack_.empty()) break;
      } else if (stack_.empty()) {
        return Fail("text outside the document group");
      } else if (c == '\\') {
        ControlWord();
      } else if (c != '\r' && c != '\n') {
        Char(c);
      }
    }
    if (!doc_.ok()) return doc_;
    if (!stack_.empty()) return Fail("document ends inside a group");
    for (; pos_ < in_.size(); ++pos_) {
      if (!std::isspace(static_cast<unsigned char>(in_[pos_]))) {
        return Fail("text after the document group");
      }
    }
    return doc_;
  }

 private:
  static constexpr std::size_t kMaxDepth = 1000;

  RtfContent Fail(std::string why) {
    doc_.error = std::move(why) + " at byte " + std::to_string(pos_);
    return doc_;
  }

  State& state() { return stack_.back(); }

  void ControlWord() {
    if (pos_ >= in_.size()) {
      Fail("backslash at the end");
      return;
    }
    const char c = in_[pos_];
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++pos_;
      ControlSymbol(c);
      return;
    }
    std::string word;
    while (pos_ < in_.size() && std::isalpha(static_cast<unsigned char>(in_[pos_])) &&
           word.size() < 32) {
      word += in_[pos_++];
    }
    std::optional<long long> number;
    bool negative = false;
    if (pos_ < in_.size() && in_[pos_] == '-') {
      negative = true;
      ++pos_;
    }
    int digits = 0;
    while (pos_ < in_.size() && std::isdigit(static_cast<unsigned char>(in_[pos_])) &&
           digits < 10) {
      number = number.value_or(0) * 10 + (in_[pos_++] - '0');
      ++digits;
    }
    if (negative && !number) {
      Fail("minus without digits");
      return;
    }
    if (number && negative) number = -*number;
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    Word(word, number);
  }

  void ControlSymbol(char c) {
    switch (c) {
      case '\\':
      case '{':
      case '}':
        Char(c);
        return;
      case '\'': {
        if (pos_ + 2 > in_.size()) {
          Fail("\\' without two hex digits");
          return;
        }
        const int high = Hex(in_[pos_]);
        const int low = Hex(in_[pos_ + 1]);
        if (high < 0 || low < 0) {
          Fail("\\' without two hex digits");
          return;
        }
        pos_ += 2;
        Char(static_cast<char>(high * 16 + low));
        return;
      }
      case '*':
        state().destination = Destination::kSkip;
        return;
      case '\r':
      case '\n':
        Word("par", std::nullopt);
        return;
      case '~':
        Char('\xA0');
        return;
      default:
        return;  // optional hyphen and the like
    }
  }

  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void Word(const std::string& word, std::optional<long long> number) {
    State& s = state();
    const int value = number ? static_cast<int>(*number) : 1;
    if (word == "rtf" || word == "ansi" || word == "deff" || word == "pard" || word == "fswiss" ||
        word == "fcharset" || word == "fnil" || word == "froman") {
      return;
    } else if (word == "ansicpg") {
      doc_.code_page = value;
    } else if (word == "fonttbl") {
      s.destination = Destination::kFontTable;
    } else if (word == "colortbl") {
      s.destination = Destination::kColorTable;
    } else if (word == "f") {
      if (s.destination == Destination::kFontTable) doc_.fonts.emplace_back();
    } else if (word == "red" || word == "green" || word == "blue") {
      if (s.destination != Destination::kColorTable) return;
      if (!color_started_) color_ = RtfColor{};
      color_started_ = true;
      (word == "red" ? color_.red : word == "green" ? color_.green : color_.blue) = value;
    } else if (word == "par") {
      if (s.destination == Destination::kBody) {
        doc_.paragraphs.push_back(std::move(doc_.unfinished));
        doc_.unfinished = RtfParagraph{};
      }
    } else if (word == "tab") {
      Char('\t');
    } else if (word == "line") {
      Char('\n');
    } else if (word == "cf") {
      s.color_index = value;
    } else if (word == "b") {
      s.bold = value != 0;
    } else if (word == "i") {
      s.italic = value != 0;
    } else if (word == "fs") {
      s.font_half_points = value;
    } else if (word == "u" && number) {
      Unicode(static_cast<char16_t>(*number < 0 ? *number + 65536 : *number));
      skip_ = s.fallback_characters;
    } else if (word == "uc") {
      s.fallback_characters = value;
    } else if (word == "plain") {
      s.bold = s.italic = false;
      s.color_index = 0;
      s.font_half_points = 24;
    } else if (word == "info" || word == "stylesheet" || word == "pict" || word == "header" ||
               word == "footer") {
      s.destination = Destination::kSkip;
    } else {
      doc_.unknown_words.push_back(word);
    }
  }

  void Char(char c) {
    State& s = state();
    switch (s.destination) {
      case Destination::kSkip:
        return;
      case Destination::kFontTable:
        if (doc_.fonts.empty()) doc_.fonts.emplace_back();
        if (c != ';') doc_.fonts.back() += c;
        return;
      case Destination::kColorTable:
        if (c == ';') {
          if (!color_started_) color_.automatic = true;
          doc_.colors.push_back(color_);
          color_ = RtfColor{};
          color_started_ = false;
        } else if (c != ' ') {
          Fail("text in the colour table");
        }
        return;
      case Destination::kBody:
        if (skip_ > 0) {
          --skip_;
          return;
        }
        Body(velmor::Windows1252ToUtf8(std::string(1, c)));
        return;
    }
  }

  // One UTF-16 unit of a \u word: a character, or half of a surrogate pair.
  void Unicode(char16_t unit) {
    if (state().destination != Destination::kBody) return;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_surrogate_ = unit;
      return;
    }
    std::u16string units;
    if (unit >= 0xDC00 && unit <= 0xDFFF && high_surrogate_) units += *high_surrogate_;
    units += unit;
    high_surrogate_.reset();
    Body(velmor::Utf16ToUtf8(units));
  }

  void Body(const std::string& text) {
    const State& s = state();
    RtfRun look{{}, s.color_index, s.bold, s.italic, s.font_half_points};
    auto& runs = doc_.unfinished.runs;
    if (runs.empty() || !runs.back().SameLook(look)) runs.push_back(look);
    runs.back().text += text;
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  std::vector<State> stack_;
  RtfContent doc_;
  RtfColor color_;
  bool color_started_ = false;
  int skip_ = 0;
  std::optional<char16_t> high_surrogate_;
};

}  // namespace rtf_reader_detail

inline RtfContent ReadRtf(std::string_view rtf) {
  return rtf_reader_detail::Reader(rtf).Read();
}

// Text as a reader shows it, as UTF-8: a log line's bytes that are no UTF-8 read as
// Windows-1252 characters.
inline std::string AsShown(std::string_view text) {
  std::string shown;
  for (std::size_t pos = 0; pos < text.size();) {
    velmor::AppendUtf8(shown, velmor::NextCharacter(text, pos));
  }
  return shown;
}

// The colour of a run as RGB (red in bits 0-7), or nothing when the index is outside the
// table or names the automatic colour.
inline std::optional<std::uint32_t> RunColor(const RtfContent& doc, const RtfRun& run) {
  if (run.color_index < 0 || run.color_index >= static_cast<int>(doc.colors.size())) {
    return std::nullopt;
  }
  const RtfColor& color = doc.colors[static_cast<std::size_t>(run.color_index)];
  if (color.automatic) return std::nullopt;
  return static_cast<std::uint32_t>((color.red & 0xFF) | ((color.green & 0xFF) << 8) |
                                    ((color.blue & 0xFF) << 16));
}

}  // namespace velmor::testing
