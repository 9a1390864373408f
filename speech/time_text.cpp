#include "speech/time_text.h"

#include <iomanip>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace velmor {
namespace {

std::string FormatTime(const std::tm& when, const std::locale& locale, const char* format) {
  std::ostringstream out;
  out.imbue(locale);
  out << std::put_time(&when, format);
  return LocaleTextToWindows1252(out.str());
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

// The Windows-1252 byte of a code point, or '?' when the code page has none.
char ToWindows1252(char32_t code) {
  // 0x80-0x9F of Windows-1252 hold these characters instead of C1 controls.
  static constexpr char16_t kHighTable[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (kHighTable[i] != 0 && kHighTable[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::tm LocalNow() {
  // std::localtime hands out one static buffer; the lock keeps our own callers apart.
  static std::mutex mutex;
  const std::time_t now = std::time(nullptr);
  std::lock_guard lock(mutex);
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? *local : std::tm{};
}

const std::locale& UserLocale() {
  static const std::locale locale = [] {
    try {
      return std::locale("");
    } catch (const std::runtime_error&) {
      return std::locale::classic();
    }
  }();
  return locale;
}

std::string TimeText() {
  return TimeText(LocalNow());
}
std::string TimeText(const std::tm& when) {
  return TimeText(when, UserLocale());
}
std::string TimeText(const std::tm& when, const std::locale& locale) {
  return FormatTime(when, locale, "%X");
}

std::string DateText() {
  return DateText(LocalNow());
}
std::string DateText(const std::tm& when) {
  return DateText(when, UserLocale());
}
std::string DateText(const std::tm& when, const std::locale& locale) {
  return FormatTime(when, locale, "%x");
}

std::string LocaleTextToWindows1252(std::string_view text) {
  std::string narrowed;
  narrowed.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::optional<char32_t> code = DecodeUtf8(text, pos);
    if (!code) return std::string(text);
    narrowed.push_back(ToWindows1252(*code));
  }
  return narrowed;
}

}  // namespace velmor
