#pragma once

#include <optional>
#include <string>
#include <string_view>

// The conversions between the program's two kinds of text: 8-bit Windows-1252 (the window's
// controls, the settings, file names as a server writes them in ASCII speech) and Unicode
// (UTF-8 in log lines and media names from the interpreter on, UTF-16 in the desktops'
// strings and the Windows API).
//
// The five byte values that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map to the C1 controls of the same number and back, as the system's own conversion does,
// so every byte survives a round trip. Where UTF-8 is read, bytes that are not well-formed
// UTF-8 are each taken as one Windows-1252 character, so text of either kind reads as what
// it shows. Any thread.
namespace velmor {

std::string Windows1252ToUtf8(std::string_view text);

// Well-formed UTF-8 to Windows-1252, with '?' for a character the code page lacks.
// Bytes that are not well-formed UTF-8 are each taken as one Windows-1252 character.
std::string Utf8ToWindows1252(std::string_view text);

// The same as wide strings (UTF-16 where wchar_t has 16 bits, as on Windows). A character
// the code page lacks, a surrogate pair included, becomes one '?'.
std::wstring Windows1252ToWide(std::string_view text);
std::string WideToWindows1252(std::wstring_view text);

// The character at text[pos] of UTF-8 text, moving pos past it (see above for bytes that are
// not UTF-8).
char32_t NextCharacter(std::string_view text, std::size_t& pos);
// Appends a character (U+0000 to U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t code);
// Windows-1252's byte for a character, or nothing where the code page has none.
std::optional<char> Windows1252ByteOf(char32_t code);

// UTF-8 and UTF-16 (the wide strings of Windows, whose wchar_t has 16 bits; UTF-32 where it
// has 32). A unit that is no character, a lone surrogate, becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// Case folding of the scripts whose letters have two cases: Latin, Greek and Cyrillic.
char32_t FoldCase(char32_t code);
// Whether two UTF-8 texts differ only in the case of their letters.
bool EqualsIgnoringCaseUtf8(std::string_view a, std::string_view b);

// Windows-1252 case rules: ASCII letters, the Latin-1 letters (A-grave to Thorn against
// a-grave to thorn) and the pairs of 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E and 0x9F/0xFF.
char ToLowerWindows1252(char c);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Text from the C library or the locale (a time text, a system error message): valid UTF-8
// is narrowed as above; anything else is taken as already 8-bit and kept as it is.
std::string LocaleTextToWindows1252(std::string_view text);
// The same text as UTF-8: valid UTF-8 kept, anything else taken as Windows-1252.
std::string LocaleTextToUtf8(std::string_view text);

}  // namespace velmor
