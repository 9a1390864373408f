#include "gui_win32/colors.h"

namespace velmor {

COLORREF ToColorRef(TColor color) {
  if (color & kSystemColorFlag) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

COLORREF ReadOnlyBackground(TColor color) {
  const COLORREF value = ToColorRef(color);
  const int light = GetRValue(value) * 3 + GetGValue(value) * 6 + GetBValue(value);
  return light < 128 * 10 ? RGB(192, 192, 192) : value;
}

BrushCache::~BrushCache() {
  for (auto& [color, brush] : brushes_) DeleteObject(brush);
}

HBRUSH BrushCache::Get(COLORREF color) {
  auto [entry, added] = brushes_.try_emplace(color, nullptr);
  if (added) entry->second = CreateSolidBrush(color);
  return entry->second;
}

}  // namespace velmor
