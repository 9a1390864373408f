#pragma once

// The window system's headers define RGB as a macro, which would rewrite velmor::RGB in
// platform/color.h; reading that header first keeps it intact for every later include.
// clang-format off
#include "platform/color.h"
#include <windows.h>
// clang-format on
