#pragma once

#include "gui_win32/windows_api.h"

#include <functional>
#include <memory>
#include <vector>

#include "gui_win32/colors.h"
#include "gui_win32/find_bar.h"
#include "gui_win32/log_pane.h"
#include "shell/UOListener.h"

namespace velmor {

// The form's controls as native child windows of the main window, built by walking the
// form's declaration in creation order, which is the tab order (each label just before the
// field it names, as screen readers expect). Each is kept in step with its control; typing
// and clicks go back to the controls. Positions follow the form's layout at the window's
// dpi. Main thread only; the form must outlive this object.
class FormControls {
 public:
  using Runner = std::function<void(const std::function<void()>&)>;

  // `run` guards each handler the user's input runs (the main window's error box).
  FormControls(HWND window, TMainForm& form, Runner run);
  ~FormControls();
  FormControls(const FormControls&) = delete;
  FormControls& operator=(const FormControls&) = delete;

  // Places every control for the window's client size at `dpi`, in `font`.
  void Layout(UINT dpi, HFONT font);
  // WM_COMMAND from a child window: true when it came from one of the form's controls.
  bool Command(WPARAM wparam, LPARAM lparam);
  // WM_CTLCOLORSTATIC and WM_CTLCOLOREDIT: the brush for the control's background.
  LRESULT Color(HDC dc, HWND control);
  // The system's colours, theme or contrast changed.
  void ColorsChanged();
  // Gives the focus to the native window of a control.
  void Focus(const TControl* control) const;
  // The log pane's find bar.
  FindBar* Finder() { return find_bar_.get(); }

 private:
  struct Native {
    TControl* control;
    HWND handle;
  };

  HWND Create(TControl& control, int id);
  void Sync(const Native& native);
  TRect WindowRect(const TControl& control, int client_width, int client_height) const;
  const Native* Find(HWND handle) const;

  HWND window_;
  TMainForm& form_;
  Runner run_;
  std::vector<Native> natives_;
  std::unique_ptr<LogPane> log_pane_;
  std::unique_ptr<FindBar> find_bar_;
  BrushCache brushes_;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  HFONT font_ = nullptr;
  bool syncing_ = false;
};

}  // namespace velmor
