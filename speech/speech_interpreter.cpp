#include "speech/speech_interpreter.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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
constexpr std::int32_t kMarkerSize = 8;

// The 8-bit text in [begin, end) up to its first NUL.
std::string TextUpToNul(const std::uint8_t* begin, const std::uint8_t* end) {
  const std::uint8_t* nul = std::find(begin, end, std::uint8_t{0});
  return std::string(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(nul - begin));
}

bool StartsWith(const std::uint8_t* bytes, std::int32_t available, const char* prefix,
                std::int32_t prefix_size) {
  return available >= prefix_size && std::memcmp(bytes, prefix, prefix_size) == 0;
}

}  // namespace

void ProcessSpeechPacket(SpeechWindow& window, const std::uint8_t* packet, std::int32_t length) {
  if (length < kTextOffset) return;
  const std::uint8_t* text = packet + kTextOffset;
  const std::uint8_t* end = packet + length;
  const std::int32_t text_bytes = length - kTextOffset;
  const bool system = std::memcmp(packet + kNameOffset, kSystemName, sizeof(kSystemName) - 1) == 0;
  if (system) {
    if (StartsWith(text, text_bytes, kMusicMarker, kMarkerSize)) {
      window.PlayMusicFile(TextUpToNul(text + kMarkerSize, end));
      return;
    }
    if (StartsWith(text, text_bytes, kSoundMarker, kMarkerSize)) {
      window.PlaySoundFile(TextUpToNul(text + kMarkerSize, end));
      return;
    }
  } else if (packet[kTypeOffset] == kIgnoredType) {
    return;
  }
  const int hue = packet[kHueOffset] * 256 + packet[kHueOffset + 1];
  LogLine line;
  line.text = window.TimeText() + " [" +
              TextUpToNul(packet + kNameOffset, packet + kNameOffset + kNameSize) + "] " +
              TextUpToNul(text, end);
  line.color = window.GetHueColor(hue);
  line.style = system ? LogStyle::kItalic : LogStyle::kRegular;
  window.AppendLogLine(line);
}

void ConvertUnicodeSpeech(SpeechWindow& window, const std::uint8_t* packet, std::int32_t length) {
  if (length < kUnicodeTextOffset) return;
  const std::int32_t declared = packet[1] * 256 + packet[2];
  const std::int32_t units = (std::min(declared, length) - kUnicodeTextOffset) / 2;
  // The record: ASCII header, narrowed text, a closing NUL.
  std::vector<std::uint8_t> record(kTextOffset + std::max(units, 0) + 1, 0);
  record[0] = 0x1C;
  record[1] = static_cast<std::uint8_t>(record.size() >> 8);
  record[2] = static_cast<std::uint8_t>(record.size());
  // Header bytes 3-11 (message type and hue included) sit in the same places.
  std::copy(packet + 3, packet + 12, record.begin() + 3);
  std::copy(packet + kUnicodeNameOffset, packet + kUnicodeNameOffset + kNameSize,
            record.begin() + kNameOffset);
  for (std::int32_t i = 0; i < units; ++i) {
    const std::uint8_t low = packet[kUnicodeTextOffset + 2 * i + 1];
    if (low == 0) break;
    record[kTextOffset + i] = low;
  }
  ProcessSpeechPacket(window, record.data(), static_cast<std::int32_t>(record.size()));
}

}  // namespace velmor
