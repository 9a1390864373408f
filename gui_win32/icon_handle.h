#pragma once

#include "gui_win32/windows_api.h"

#include "platform/tray_icon.h"

namespace velmor {

// A new icon handle holding the picture; the caller destroys it with DestroyIcon.
HICON CreateIconFromImage(const IconImage& image);

}  // namespace velmor
