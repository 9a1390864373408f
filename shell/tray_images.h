#pragma once

#include <cstdint>
#include <vector>

#include "platform/tray_icon.h"

// The program's emblem, two grey rings one above the other, drawn by code: the 17 pictures
// of the tray icon and the window icon. Pure functions without shared state; any thread.
namespace velmor {

inline constexpr int kTrayImageCount = 17;
inline constexpr int kTrayImageSize = 16;
// The light grey every tray picture stands on (RGB 178, 178, 178), fully opaque.
inline constexpr std::uint32_t kTrayBackground = 0xFFB2B2B2u;

// The tray pictures, 16 x 16 and fully opaque:
//   0      the emblem face-on (the still picture of a running relay);
//   1..14  the emblem turning about its vertical axis, edge-on at 7 and 8; picture 15 - i is
//          the mirror image of picture i;
//   15     the emblem face-on seen from behind: the mirror image of picture 0;
//   16     the face-on emblem crossed out by a red X from corner to corner (relay stopped).
std::vector<IconImage> DrawTrayImages();

// The face-on emblem as the window icon, size x size pixels (32 and 16 are used) on a
// transparent background.
IconImage DrawWindowIcon(int size);

}  // namespace velmor
