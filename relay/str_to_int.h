#pragma once

#include <cstdint>
#include <string>

namespace velmor {

// Reads a field text as a 32-bit signed integer the way the window's port fields expect:
// leading blanks skipped, an optional sign, "$", "x" or "0x" (either letter case) for
// hexadecimal. An empty text, any other character or a number out of range raises
// velmor::Exception "'<text>' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);

}  // namespace velmor
