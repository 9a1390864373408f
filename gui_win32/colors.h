#pragma once

#include "gui_win32/windows_api.h"

#include <map>

namespace velmor {

// A control colour as the window system takes it: RGB values as they are, the scheme's
// colours read now.
COLORREF ToColorRef(TColor color);

// The read-only login line stands on the inactive-caption-text colour; schemes where that
// colour is dark (black on current Windows) would hide the text, so those get the classic
// scheme's silver instead.
COLORREF ReadOnlyBackground(TColor color);

// Solid brushes by colour, made on first use and kept until the cache goes.
class BrushCache {
 public:
  BrushCache() = default;
  ~BrushCache();
  BrushCache(const BrushCache&) = delete;
  BrushCache& operator=(const BrushCache&) = delete;

  HBRUSH Get(COLORREF color);

 private:
  std::map<COLORREF, HBRUSH> brushes_;
};

}  // namespace velmor
