#include "gui_win32/popup_menu.h"

#include "platform/text_codec.h"

namespace velmor {

void PopupMenu::Track(HWND window, POINT position) const {
  HMENU menu = CreatePopupMenu();
  for (std::size_t index = 0; index < items_.size(); ++index) {
    const TMenuItem& item = *items_[index];
    if (!item.Visible()) continue;
    if (item.IsSeparator()) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT flags = MF_STRING | (item.Enabled() ? 0u : static_cast<UINT>(MF_GRAYED)) |
                       (item.Checked() ? static_cast<UINT>(MF_CHECKED) : 0u);
    AppendMenuW(menu, flags, kFirstId + index, Windows1252ToWide(item.Caption()).c_str());
  }
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, position.x, position.y, 0,
                 window, nullptr);
  DestroyMenu(menu);
}

TMenuItem* PopupMenu::Chosen(WPARAM wparam, LPARAM lparam) const {
  const int id = LOWORD(wparam);
  if (HIWORD(wparam) != 0 || lparam != 0 || id < kFirstId ||
      id >= kFirstId + static_cast<int>(items_.size())) {
    return nullptr;
  }
  return items_[static_cast<std::size_t>(id - kFirstId)];
}

}  // namespace velmor
