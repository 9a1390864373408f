#include "platform/text_codec.h"

#include <array>
#include <optional>

namespace velmor {
namespace {

// Unicode of the bytes 0x80 to 0x9F; the rest of Windows-1252 equals Latin-1.
constexpr std::array<char16_t, 32> kHighCharacters = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePointOf(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighCharacters[byte - 0x80] : byte;
}

char ByteOf(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (std::size_t i = 0; i < kHighCharacters.size(); ++i) {
    if (kHighCharacters[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Decodes the UTF-8 sequence at text[pos]; returns its code point and advances pos, or
// nothing when the bytes there are not well-formed UTF-8.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  int length;
  char32_t code;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (pos + length > text.size()) return std::nullopt;
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kMinimum[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
    return std::nullopt;
  }
  pos += length;
  return code;
}

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDFFF;
}

// Appends UTF-16 units of a character to wide or 16-bit text.
template <typename Text>
void AppendUtf16(Text& out, char32_t code) {
  using Unit = typename Text::value_type;
  if (code < 0x10000) {
    out.push_back(static_cast<Unit>(code));
  } else {
    code -= 0x10000;
    out.push_back(static_cast<Unit>(0xD800 + (code >> 10)));
    out.push_back(static_cast<Unit>(0xDC00 + (code & 0x3FF)));
  }
}

// The characters of UTF-16 text, a lone surrogate as U+FFFD.
template <typename Units, typename Take>
void ForEachUtf16Character(Units text, Take take) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<char32_t>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
        static_cast<char32_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<char32_t>(text[i + 1]) <= 0xDFFF) {
      take(0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00));
    } else {
      take(IsSurrogate(unit) ? kReplacement : unit);
    }
  }
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

char32_t NextCharacter(std::string_view text, std::size_t& pos) {
  if (const std::optional<char32_t> code = DecodeUtf8(text, pos)) return *code;
  return CodePointOf(static_cast<unsigned char>(text[pos++]));
}

std::optional<char> Windows1252ByteOf(char32_t code) {
  const char byte = ByteOf(code);
  if (byte == '?' && code != U'?') return std::nullopt;
  return byte;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) AppendUtf16(out, NextCharacter(text, pos));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachUtf16Character(text, [&out](char32_t code) { AppendUtf8(out, code); });
  return out;
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t code = NextCharacter(text, pos);
    if constexpr (sizeof(wchar_t) == 2) {
      AppendUtf16(out, code);
    } else {
      out.push_back(static_cast<wchar_t>(code));
    }
  }
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  if constexpr (sizeof(wchar_t) == 2) {
    ForEachUtf16Character(text, [&out](char32_t code) { AppendUtf8(out, code); });
  } else {
    for (const wchar_t unit : text) {
      const auto code = static_cast<char32_t>(unit);
      AppendUtf8(out, IsSurrogate(code) || code > 0x10FFFF ? kReplacement : code);
    }
  }
  return out;
}

char32_t FoldCase(char32_t code) {
  if (code < 0x100) {
    const auto lower = static_cast<unsigned char>(ToLowerWindows1252(static_cast<char>(code)));
    // Of the Latin-1 range only the letters fold; the bytes 0x80 to 0x9F are C1 controls.
    return code < 0x80 || code >= 0xC0 ? lower : code;
  }
  if (code >= 0x100 && code <= 0x17F) {
    // Latin Extended-A pairs upper and lower case, mostly as even and odd, but from U+0139
    // to U+0148 and from U+0179 to U+017E as odd and even.
    const bool odd_upper = (code >= 0x139 && code <= 0x148) || (code >= 0x179 && code <= 0x17E);
    if (code == 0x178) return 0xFF;  // Ÿ
    if (odd_upper) return code % 2 == 1 ? code + 1 : code;
    if (code != 0x130 && code != 0x131 && code != 0x138 && code != 0x149 && code != 0x17F) {
      return code % 2 == 0 ? code + 1 : code;
    }
    return code;
  }
  if (code >= 0x391 && code <= 0x3AB && code != 0x3A2) return code + 0x20;  // Greek
  if (code >= 0x410 && code <= 0x42F) return code + 0x20;                   // Cyrillic
  if (code >= 0x400 && code <= 0x40F) return code + 0x50;
  return code;
}

bool EqualsIgnoringCaseUtf8(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (FoldCase(NextCharacter(a, i)) != FoldCase(NextCharacter(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (char c : text) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    if (const std::optional<char32_t> code = DecodeUtf8(text, pos)) {
      out.push_back(ByteOf(*code));
    } else {
      out.push_back(text[pos++]);
    }
  }
  return out;
}

std::wstring Windows1252ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text)
    out.push_back(static_cast<wchar_t>(CodePointOf(static_cast<unsigned char>(c))));
  return out;
}

std::string WideToWindows1252(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<char32_t>(text[i]);
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                      static_cast<char32_t>(text[i + 1]) >= 0xDC00 &&
                      static_cast<char32_t>(text[i + 1]) <= 0xDFFF;
    if (pair) ++i;
    // A lone surrogate is no character either; ByteOf gives it '?' like any missing one.
    out.push_back(pair ? '?' : ByteOf(unit));
  }
  return out;
}

char ToLowerWindows1252(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 'A' && byte <= 'Z') return static_cast<char>(byte + 0x20);
  // 0xD7 is the multiplication sign, which has no lower case.
  if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) return static_cast<char>(byte + 0x20);
  if (byte == 0x8A || byte == 0x8C || byte == 0x8E) return static_cast<char>(byte + 0x10);
  if (byte == 0x9F) return static_cast<char>(0xFF);
  return c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLowerWindows1252(a[i]) != ToLowerWindows1252(b[i])) return false;
  }
  return true;
}

std::string LocaleTextToUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    if (!DecodeUtf8(text, pos)) return Windows1252ToUtf8(text);
  }
  return std::string(text);
}

std::string LocaleTextToWindows1252(std::string_view text) {
  std::string narrowed;
  narrowed.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::optional<char32_t> code = DecodeUtf8(text, pos);
    if (!code) return std::string(text);
    narrowed.push_back(ByteOf(*code));
  }
  return narrowed;
}

}  // namespace velmor
