// clang-format off
#include "audio_winmm/mci_media_system.h"
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/exception.h"
#include "platform/file_io.h"
#include "platform/text_codec.h"
#include "platform/windows_path.h"

namespace velmor {
namespace {

constexpr wchar_t kNoticeClass[] = L"VelmorMciNotice";

// What a device reports when it does not know its length: the end is only known when
// playback gets there.
constexpr MediaTime kUnknownLength = std::numeric_limits<MediaTime>::max() / 2;

std::string ErrorText(MCIERROR error) {
  wchar_t text[256] = {};
  if (!mciGetErrorStringW(error, text, static_cast<UINT>(std::size(text)))) {
    return "MCI-Fehler " + std::to_string(error);
  }
  return WideToWindows1252(text);
}

[[noreturn]] void Unplayable(const std::string& file_name, const std::string& reason) {
  throw Exception("\"" + Utf8ToWindows1252(file_name) +
                  "\" kann nicht abgespielt werden: " + reason);
}

[[noreturn]] void Refuse(const std::string& file_name, const char* reason) {
  throw Exception("\"" + Utf8ToWindows1252(file_name) +
                  "\" kann nicht ge\xF6"
                  "ffnet werden: " +
                  reason);
}

// The path of the plain file a server names, as platform/windows_path.h finds it. A network
// name would connect to a host the server chose, a device name open hardware or block.
std::wstring LocatePlainFile(const std::string& file_name) {
  switch (KindOfWindowsName(file_name)) {
    case WindowsNameKind::kNetwork:
      Refuse(file_name, "keine lokale Datei");
    case WindowsNameKind::kDevice:
      Refuse(file_name, "keine gew\xF6hnliche Datei");
    case WindowsNameKind::kLocal:
      break;
  }
  const std::optional<std::string> located = LocateWindowsPath(file_name);
  if (!located) Refuse(file_name, "nicht gefunden");
  const std::wstring path = Utf8ToWide(*located);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) Refuse(file_name, "nicht gefunden");
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) Refuse(file_name, "keine gew\xF6hnliche Datei");
  return path;
}

}  // namespace

struct MciNotices {
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
};

class MciDevice : public MediaDevice {
 public:
  MciDevice(MciMediaSystem& system, MCIDEVICEID id, MediaKind kind)
      : system_(system), id_(id), kind_(kind) {
    system_.devices_[id_] = this;
  }
  ~MciDevice() override {
    system_.devices_.erase(id_);
    if (system_.music_ == this) system_.music_ = nullptr;
    KillTimer(static_cast<HWND>(system_.notice_window_), id_);
    // Closing ends playback; a notice already queued finds no device and is dropped.
    mciSendCommandW(id_, MCI_CLOSE, MCI_WAIT, 0);
  }

  void Play() override {
    if (kind_ == MediaKind::kMusic) {
      if (system_.music_ && system_.music_ != this) system_.music_->Halt();
      system_.music_ = this;
    }
    if (at_end_) {
      mciSendCommandW(id_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, 0);
      at_end_ = false;
    }
    MCI_PLAY_PARMS play = {};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(static_cast<HWND>(system_.notice_window_));
    if (mciSendCommandW(id_, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play)) != 0) {
      PlaySilently();
    }
  }

  // Without an output device (a machine without sound) the file still plays to its end, in
  // silence: a timer for the rest of its length stands in for the notice, so its player is
  // released as it would be with sound. A playback of unknown length that cannot start has
  // ended at once.
  void PlaySilently() {
    MediaTime left = std::max<MediaTime>(0, Length() - Status(MCI_STATUS_POSITION, 0));
    if (left >= kUnknownLength) left = 0;
    SetTimer(static_cast<HWND>(system_.notice_window_), id_,
             static_cast<UINT>(std::min<MediaTime>(left, 0x7FFFFFFF)), nullptr);
  }
  void Pause() override { Halt(); }
  void Stop() override { Halt(); }
  void Eject() override {
    MCI_SET_PARMS set = {};
    // File devices have no medium and refuse; that is as it should be.
    mciSendCommandW(id_, MCI_SET, MCI_SET_DOOR_OPEN | MCI_WAIT, reinterpret_cast<DWORD_PTR>(&set));
  }

  MediaTime Position() const override {
    const MediaTime length = Length();
    if (at_end_) return length;
    return std::min(Status(MCI_STATUS_POSITION, 0), length);
  }
  MediaTime Length() const override {
    const MediaTime length = Status(MCI_STATUS_LENGTH, 0);
    return length > 0 ? length : kUnknownLength;
  }
  void SetFinishedHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

  // Halts where it is; the pending notice is superseded and ignored.
  void Halt() {
    KillTimer(static_cast<HWND>(system_.notice_window_), id_);
    mciSendCommandW(id_, MCI_PAUSE, MCI_WAIT, 0);
  }

  void Notice(WPARAM flag) {
    // Only a playback that ran to its end counts; a stop, a pause or a new play replaces
    // the notice with "aborted" or "superseded".
    if (flag == MCI_NOTIFY_FAILURE) PlaySilently();
    if (flag != MCI_NOTIFY_SUCCESSFUL) return;
    at_end_ = true;
    // The handler may destroy this device: nothing of it is touched afterwards.
    if (handler_) {
      std::function<void()> handler = handler_;
      handler();
    }
  }

 private:
  MediaTime Status(DWORD item, MediaTime fallback) const {
    MCI_STATUS_PARMS status = {};
    status.dwItem = item;
    if (mciSendCommandW(id_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                        reinterpret_cast<DWORD_PTR>(&status)) != 0) {
      return fallback;
    }
    return static_cast<MediaTime>(status.dwReturn);
  }

  MciMediaSystem& system_;
  MCIDEVICEID id_;
  MediaKind kind_;
  bool at_end_ = false;
  std::function<void()> handler_;
};

MciMediaSystem::MciMediaSystem() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.hInstance = instance;
  window_class.lpfnWndProc = &MciNotices::Proc;
  window_class.lpszClassName = kNoticeClass;
  RegisterClassExW(&window_class);
  notice_window_ = CreateWindowExW(0, kNoticeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   instance, nullptr);
  SetWindowLongPtrW(static_cast<HWND>(notice_window_), GWLP_USERDATA,
                    reinterpret_cast<LONG_PTR>(this));
}

MciMediaSystem::~MciMediaSystem() {
  SetWindowLongPtrW(static_cast<HWND>(notice_window_), GWLP_USERDATA, 0);
  DestroyWindow(static_cast<HWND>(notice_window_));
}

LRESULT CALLBACK MciNotices::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == MM_MCINOTIFY || message == WM_TIMER) {
    auto* system = reinterpret_cast<MciMediaSystem*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!system) return 0;
    // A timer stands in for the notice of a silent playback; its id is the device's.
    const auto device = static_cast<unsigned>(message == WM_TIMER ? wparam : lparam);
    if (message == WM_TIMER) KillTimer(window, wparam);
    const auto found = system->devices_.find(device);
    if (found != system->devices_.end()) {
      found->second->Notice(message == WM_TIMER ? MCI_NOTIFY_SUCCESSFUL : wparam);
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

std::unique_ptr<MediaDevice> MciMediaSystem::Open(const std::string& file_name, MediaKind kind) {
  const std::wstring wide = LocatePlainFile(file_name);
  MCI_OPEN_PARMSW open = {};
  open.lpstrElementName = wide.c_str();
  // No device type: the system picks it from the file's extension.
  const MCIERROR error =
      mciSendCommandW(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, reinterpret_cast<DWORD_PTR>(&open));
  if (error != 0) Unplayable(file_name, ErrorText(error));
  auto device = std::make_unique<MciDevice>(*this, open.wDeviceID, kind);
  MCI_SET_PARMS set = {};
  set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  mciSendCommandW(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT,
                  reinterpret_cast<DWORD_PTR>(&set));
  return device;
}

}  // namespace velmor
