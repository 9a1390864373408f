#pragma once

#include <cstdint>

#include "speech/speech_window.h"

// Picks the speech out of whole, decompressed server packets.
namespace velmor {

// One ASCII speech packet (id 0x1C) of `length` bytes, starting with its id byte. A system
// message (name beginning "System") whose text starts with "~~Music=" or "~~Sound=" asks
// the window to play the rest of the text; any other system message becomes an italic
// line, other speakers' messages a regular line, except type 6, which is dropped. The line
// is time, " [", name, "] ", text, in the colour of the packet's hue. Lines and file names
// are UTF-8: the packet's 8-bit name and text are Windows-1252.
//
// Reads only packet[0 .. length): a packet shorter than its 44-byte header is skipped, and
// a name or text without its NUL ends at the field's or packet's end. Runs on the caller's
// thread; the window takes the effects from there. The packet is not kept.
void ProcessSpeechPacket(SpeechWindow& window, const std::uint8_t* packet, std::int32_t length);

// One Unicode speech packet (id 0xAE) of `length` bytes, handled as above with its text as
// it was sent: big-endian UTF-16 up to the first NUL unit, each unit that is no character
// (a lone surrogate, U+FFFE, U+FFFF) as U+FFFD. The text units are those that both the
// packet's length field and `length` cover; a packet shorter than its 48-byte header is
// skipped. The name field is 8-bit, as in the ASCII packet.
void ConvertUnicodeSpeech(SpeechWindow& window, const std::uint8_t* packet, std::int32_t length);

}  // namespace velmor
