#include "speech/speech_interpreter.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text_codec.h"

namespace velmor {
namespace {

constexpr std::int32_t kTypeOffset = 9;
constexpr std::int32_t kHueOffset = 10;
constexpr std::int32_t kNameOffset = 14;
constexpr std::int32_t kNameSize = 30;
constexpr std::int32_t kTextOffset = 44;
constexpr std::int32_t kIgnoredType = 6;

constexpr std::int32_t kUnicodeNameOffset = 18;
constexpr std::int32_t kUnicodeTextOffset = 48;

constexpr char kSystemName[] = "System";
constexpr char kMusicMarker[] = "~~Music=";
constexpr char kSoundMarker[] = "~~Sound=";
constexpr std::size_t kMarkerSize = 8;

// The 8-bit text in [begin, end) up to its first NUL.
std::string TextUpToNul(const std::uint8_t* begin, const std::uint8_t* end) {
  const std::uint8_t* nul = std::find(begin, end, std::uint8_t{0});
  return std::string(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(nul - begin));
}

std::string Utf8UpToNul(const std::uint8_t* begin, const std::uint8_t* end) {
  return Windows1252ToUtf8(TextUpToNul(begin, end));
}

// What one speech message becomes, whichever packet carried it; name and text are UTF-8.
void Interpret(SpeechWindow& window, std::uint8_t type, int hue, const std::string& name,
               const std::string& text) {
  const bool system = name.compare(0, sizeof(kSystemName) - 1, kSystemName) == 0;
  if (system) {
    // The markers only in their ASCII spelling, which is the same in every encoding.
    if (text.compare(0, kMarkerSize, kMusicMarker) == 0) {
      window.PlayMusicFile(text.substr(kMarkerSize));
      return;
    }
    if (text.compare(0, kMarkerSize, kSoundMarker) == 0) {
      window.PlaySoundFile(text.substr(kMarkerSize));
      return;
    }
  } else if (type == kIgnoredType) {
    return;
  }
  LogLine line;
  line.text = window.TimeText() + " [" + name + "] " + text;
  line.color = window.GetHueColor(hue);
  line.style = system ? LogStyle::kItalic : LogStyle::kRegular;
  window.AppendLogLine(line);
}

int HueOf(const std::uint8_t* packet) {
  return packet[kHueOffset] * 256 + packet[kHueOffset + 1];
}

}  // namespace

void ProcessSpeechPacket(SpeechWindow& window, const std::uint8_t* packet, std::int32_t length) {
  if (length < kTextOffset) return;
  Interpret(window, packet[kTypeOffset], HueOf(packet),
            Utf8UpToNul(packet + kNameOffset, packet + kNameOffset + kNameSize),
            Utf8UpToNul(packet + kTextOffset, packet + length));
}

void ConvertUnicodeSpeech(SpeechWindow& window, const std::uint8_t* packet, std::int32_t length) {
  if (length < kUnicodeTextOffset) return;
  const std::int32_t declared = packet[1] * 256 + packet[2];
  const std::int32_t units = (std::min(declared, length) - kUnicodeTextOffset) / 2;
  // Big-endian UTF-16 up to the first NUL unit; U+FFFE and U+FFFF are no characters.
  std::u16string text;
  for (std::int32_t i = 0; i < units; ++i) {
    const auto unit = static_cast<char16_t>(packet[kUnicodeTextOffset + 2 * i] << 8 |
                                            packet[kUnicodeTextOffset + 2 * i + 1]);
    if (unit == 0) break;
    text.push_back(unit >= 0xFFFE ? u'\uFFFD' : unit);
  }
  Interpret(window, packet[kTypeOffset], HueOf(packet),
            Utf8UpToNul(packet + kUnicodeNameOffset, packet + kUnicodeNameOffset + kNameSize),
            Utf16ToUtf8(text));
}

}  // namespace velmor
