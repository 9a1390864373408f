#pragma once

#include <string>
#include <string_view>

// The one conversion between the program's 8-bit Windows-1252 text and Unicode (UTF-8, and
// the wide strings of the Windows API), for the edges: the desktop's strings, file names,
// texts of the C library and the locale.
//
// The five byte values that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map to the C1 controls of the same number and back, as the system's own conversion does,
// so every byte survives a round trip. Any thread.
namespace velmor {

std::string Windows1252ToUtf8(std::string_view text);

// Well-formed UTF-8 to Windows-1252, with '?' for a character the code page lacks.
// Bytes that are not well-formed UTF-8 are each taken as one Windows-1252 character.
std::string Utf8ToWindows1252(std::string_view text);

// The same as wide strings (UTF-16 where wchar_t has 16 bits, as on Windows). A character
// the code page lacks, a surrogate pair included, becomes one '?'.
std::wstring Windows1252ToWide(std::string_view text);
std::u16string Windows1252ToUtf16(std::string_view text);
std::string WideToWindows1252(std::wstring_view text);

// Windows-1252 case rules: ASCII letters, the Latin-1 letters (A-grave to Thorn against
// a-grave to thorn) and the pairs of 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E and 0x9F/0xFF.
char ToLowerWindows1252(char c);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Text from the C library or the locale (a time text, a system error message): valid UTF-8
// is narrowed as above; anything else is taken as already 8-bit and kept as it is.
std::string LocaleTextToWindows1252(std::string_view text);

}  // namespace velmor
