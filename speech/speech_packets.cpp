#include "speech/speech_packets.h"

#include "speech/speech_interpreter.h"

namespace velmor {
namespace {

constexpr std::uint8_t kAsciiSpeechId = 0x1C;
constexpr std::uint8_t kUnicodeSpeechId = 0xAE;

}  // namespace

void SpeechPackets::ProcessPacket(const std::uint8_t* packet, std::int32_t length) {
  if (packet[0] == kAsciiSpeechId) {
    ProcessSpeechPacket(window_, packet, length);
  } else if (packet[0] == kUnicodeSpeechId) {
    ConvertUnicodeSpeech(window_, packet, length);
  }
}

}  // namespace velmor
