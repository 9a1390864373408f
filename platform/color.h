#pragma once

#include <cstdint>

namespace velmor {

// A colour as one integer: red in bits 0-7, green in 8-15, blue in 16-23. Values with the
// top bit set name a colour of the system's scheme instead.
using TColor = std::uint32_t;
constexpr TColor kSystemColorFlag = 0x80000000u;
constexpr TColor RGB(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clGreen = RGB(0, 128, 0);
constexpr TColor clWindow = kSystemColorFlag | 5;
constexpr TColor clWindowText = kSystemColorFlag | 8;
constexpr TColor clBtnFace = kSystemColorFlag | 15;
constexpr TColor clInactiveCaptionText = kSystemColorFlag | 19;

}  // namespace velmor
