#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmor::testing {

// Server speech packets as the game sends them, for feeding the decoder and interpreter.

// ASCII speech (0x1C): 44-byte header, the text and its NUL.
inline std::vector<std::uint8_t> AsciiSpeech(const std::string& name, const std::string& text,
                                             std::uint8_t type = 0, int hue = 0x0022) {
  std::vector<std::uint8_t> packet(44, 0);
  packet[0] = 0x1C;
  packet[3] = 0x40;  // serial and body, not read
  packet[9] = type;
  packet[10] = static_cast<std::uint8_t>(hue >> 8);
  packet[11] = static_cast<std::uint8_t>(hue);
  packet[13] = 3;  // font
  for (std::size_t i = 0; i < name.size() && i < 30; ++i) packet[14 + i] = name[i];
  packet.insert(packet.end(), text.begin(), text.end());
  packet.push_back(0);
  packet[1] = static_cast<std::uint8_t>(packet.size() >> 8);
  packet[2] = static_cast<std::uint8_t>(packet.size());
  return packet;
}

// Unicode speech (0xAE): 48-byte header, the UTF-16 units big-endian and a NUL unit.
inline std::vector<std::uint8_t> UnicodeSpeech(const std::string& name, const std::u16string& text,
                                               std::uint8_t type = 0, int hue = 0x0022) {
  std::vector<std::uint8_t> packet(48, 0);
  packet[0] = 0xAE;
  packet[3] = 0x40;
  packet[9] = type;
  packet[10] = static_cast<std::uint8_t>(hue >> 8);
  packet[11] = static_cast<std::uint8_t>(hue);
  packet[13] = 3;
  packet[14] = 'D';  // language, not read
  packet[15] = 'E';
  packet[16] = 'U';
  for (std::size_t i = 0; i < name.size() && i < 30; ++i) packet[18 + i] = name[i];
  for (char16_t unit : text) {
    packet.push_back(static_cast<std::uint8_t>(unit >> 8));
    packet.push_back(static_cast<std::uint8_t>(unit));
  }
  packet.push_back(0);
  packet.push_back(0);
  packet[1] = static_cast<std::uint8_t>(packet.size() >> 8);
  packet[2] = static_cast<std::uint8_t>(packet.size());
  return packet;
}

// A packet of a fixed-length id, filled with a recognisable byte.
inline std::vector<std::uint8_t> FixedPacket(std::uint8_t id, std::size_t length,
                                             std::uint8_t fill = 0x5A) {
  std::vector<std::uint8_t> packet(length, fill);
  packet[0] = id;
  return packet;
}

inline std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t from,
                                       std::size_t to) {
  return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace velmor::testing
