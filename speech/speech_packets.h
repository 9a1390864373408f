#pragma once

#include <cstdint>

#include "decoding/packet_sink.h"
#include "speech/speech_window.h"

namespace velmor {

// The packet interpreter as the framer's sink: ASCII speech (0x1C) goes to
// ProcessSpeechPacket, Unicode speech (0xAE) to ConvertUnicodeSpeech, every other packet is
// passed over. Runs on the framer's thread; the window takes the effects from there.
class SpeechPackets : public PacketSink {
 public:
  explicit SpeechPackets(SpeechWindow& window) : window_(window) {}
  void ProcessPacket(const std::uint8_t* packet, std::int32_t length) override;

 private:
  SpeechWindow& window_;
};

}  // namespace velmor
