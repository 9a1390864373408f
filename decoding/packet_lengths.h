#pragma once

#include <array>
#include <cstdint>

// Packet lengths of the server's stream, by packet id (the packet's first byte).
namespace velmor {

struct PacketLengthPair {
  std::int32_t id;
  std::int32_t length;
};

// A length above 0 is fixed (id byte included); -1 means variable: the big-endian 16-bit
// number in bytes 1 and 2 counts the whole packet. Ascending ids, closed by (-1, -1).
inline constexpr PacketLengthPair kPacketLengthPairs[] = {
    {0x00, 104}, {0x01, 5},   {0x02, 7},  {0x03, -1}, {0x04, 2},   {0x05, 5},  {0x06, 5},
    {0x07, 7},   {0x08, 14},  {0x09, 5},  {0x11, -1}, {0x12, -1},  {0x13, 10}, {0x1A, -1},
    {0x1B, 37},  {0x1C, -1},  {0x1D, 5},  {0x20, 19}, {0x21, 8},   {0x22, 3},  {0x23, 26},
    {0x24, 7},   {0x25, 20},  {0x26, 5},  {0x27, 2},  {0x28, 5},   {0x29, 1},  {0x2C, 2},
    {0x2E, 15},  {0x2F, 10},  {0x33, 2},  {0x34, 10}, {0x3A, -1},  {0x3B, -1}, {0x3C, -1},
    {0x4E, 6},   {0x4F, 2},   {0x53, 2},  {0x54, 12}, {0x55, 1},   {0x56, 11}, {0x5B, 4},
    {0x5D, 73},  {0x65, 4},   {0x66, -1}, {0x69, 5},  {0x6C, 19},  {0x6D, 3},  {0x6E, 14},
    {0x6F, -1},  {0x70, 28},  {0x71, -1}, {0x72, 5},  {0x73, 2},   {0x74, -1}, {0x75, 35},
    {0x76, 16},  {0x77, 17},  {0x78, -1}, {0x7C, -1}, {0x7D, 13},  {0x80, 62}, {0x82, 2},
    {0x83, 39},  {0x86, 304}, {0x88, 66}, {0x89, -1}, {0x8C, 11},  {0x90, 19}, {0x91, 65},
    {0x93, 99},  {0x95, 9},   {0x99, 26}, {0x9A, 16}, {0x9B, 258}, {0x9E, -1}, {0x9F, -1},
    {0xA0, 3},   {0xA1, 9},   {0xA2, 9},  {0xA3, 9},  {0xA4, 149}, {0xA5, -1}, {0xA6, -1},
    {0xA7, 4},   {0xA8, -1},  {0xA9, -1}, {0xAA, 5},  {0xAB, -1},  {0xAC, -1}, {0xAD, -1},
    {0xAE, -1},  {0xAF, 13},  {0xB0, -1}, {0xB1, -1}, {0xB2, -1},  {0xB5, 64}, {0xB6, 9},
    {0xB7, -1},  {0xB8, -1},  {0xB9, 3},  {0xBA, 6},  {0xBB, 9},   {0xBC, 3},  {0xBD, -1},
    {0xBF, -1},  {0xC0, 36},  {0xC1, -1}, {0xC7, 49}, {0xD0, -1},  {0xD1, 2},  {0xF0, -1},
    {-1, -1},
};

// Ids not in the list are unknown (0). Complete at compile time, so it exists before the
// first block can arrive; read-only, so any thread may use it.
constexpr std::array<std::int32_t, 256> BuildPacketLengths() {
  std::array<std::int32_t, 256> table{};
  for (const PacketLengthPair& pair : kPacketLengthPairs) {
    if (pair.id < 0) break;
    table[static_cast<std::size_t>(pair.id)] = pair.length;
  }
  return table;
}

inline constexpr std::array<std::int32_t, 256> PacketLengths = BuildPacketLengths();

// The length of the packet that starts at frame[pos], at least 1: an unknown id and a
// length field of 0 count as one byte. For a variable-length id, frame[pos + 1] and
// frame[pos + 2] must exist.
std::int32_t GetPacketLength(const std::uint8_t* frame, std::int32_t pos);

}  // namespace velmor
