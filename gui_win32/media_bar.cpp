#include "gui_win32/media_bar.h"

#include <array>

#include "platform/text_codec.h"

namespace velmor {
namespace {

constexpr wchar_t kClass[] = L"VelmorMediaBar";
constexpr int kFirstButtonId = 3000;
// The captions are the tips of the Qt bar's symbols.
constexpr std::array<const char*, 3> kCaptions = {"Wiedergabe", "Pause", "Stopp"};

void RegisterClassOnce(HINSTANCE instance, WNDPROC proc) {
  static const bool registered = [&] {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kClass;
    window_class.lpfnWndProc = proc;
    return RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
}

int Scaled(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

}  // namespace

MediaBar::MediaBar(HINSTANCE instance, HWND parent, MediaTriggers& media, Runner run)
    : media_(media), run_(std::move(run)) {
  RegisterClassOnce(instance, &MediaBar::Proc);
  // A control parent: Tab walks on into its buttons.
  window_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER, 0,
                      0, 0, 0, parent, nullptr, instance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  for (std::size_t index = 0; index < kCaptions.size(); ++index) {
    CreateWindowExW(0, L"BUTTON", Windows1252ToWide(kCaptions[index]).c_str(),
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + index)), instance,
                    nullptr);
  }
  Sync();
  media_.SetSoundBarObserver([this] { Sync(); });
}

MediaBar::~MediaBar() {
  media_.SetSoundBarObserver(nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

void MediaBar::Sync() {
  ShowWindow(window_, media_.SoundBarVisible() ? SW_SHOWNA : SW_HIDE);
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void MediaBar::Layout(UINT dpi, HFONT font) {
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(window_, nullptr, 0, 0, Scaled(240, dpi), Scaled(30, dpi), flags);
  const int width = Scaled(76, dpi);
  for (std::size_t index = 0; index < kCaptions.size(); ++index) {
    HWND button = GetDlgItem(window_, kFirstButtonId + static_cast<int>(index));
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SetWindowPos(button, nullptr,
                 Scaled(2, dpi) + static_cast<int>(index) * (width + Scaled(2, dpi)),
                 Scaled(2, dpi), width, Scaled(24, dpi), flags);
  }
}

LRESULT CALLBACK MediaBar::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MediaBar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
    MediaTriggers& media = self->media_;
    switch (LOWORD(wparam) - kFirstButtonId) {
      case 0:
        self->run_([&media] { media.SoundBarPlay(); });
        return 0;
      case 1:
        self->run_([&media] { media.SoundBarPause(); });
        return 0;
      case 2:
        self->run_([&media] { media.SoundBarStop(); });
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace velmor
