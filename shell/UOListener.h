#pragma once

#include <array>
#include <atomic>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "decoding/decoding_sessions.h"
#include "platform/dialogs.h"
#include "platform/dispatch.h"
#include "platform/media_device.h"
#include "platform/timer.h"
#include "platform/tray_icon.h"
#include "relay/log_event.h"
#include "shell/controls.h"
#include "shell/relay_control.h"
#include "shell/tray_animation.h"
#include "shell/window_settings.h"
#include "speech/hue_table.h"
#include "speech/live_log_file.h"
#include "speech/main_thread_speech.h"
#include "speech/media_triggers.h"
#include "speech/speech_packets.h"

namespace velmor {

// What the main window reaches the platform through.
struct MainFormServices {
  Dialogs& dialogs;
  Dispatcher& dispatcher;
  TimerHost& timers;
  TrayIcon& tray;
  MediaSystem& media;
  // The program file's name, for the application title of the error box.
  std::string program_file = "velmor";
  // The folder of "Velmor.ini", "hues.mul" and the log files; empty means the working
  // directory, resolved at each use.
  std::filesystem::path folder;
};

// The main window: owns every control, the relay control with the current relay, the tap,
// the media players and the tray state, and runs start-up, close and exit. Main thread only,
// except the tap's handler, which runs on relay workers and reaches the window only
// through the dispatcher.
//
// Its surface is data: Controls() declares every control once, in creation order (which
// is the tab order, each label just before the field it names), and PopupMenu1() every
// menu entry. A desktop builds its window by walking the two.
class TMainForm : private RelayControlHost {
 public:
  // The nominal client area; the window is 657 x 381 with its frame.
  static constexpr int kClientWidth = 649;
  static constexpr int kClientHeight = 347;

  // Builds the controls, probes the hue file and runs FormCreate.
  explicit TMainForm(MainFormServices services);
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Window state. Showing and hiding treat the window and its taskbar entry together.
  const std::string& Caption() const { return caption_; }
  bool Visible() const { return visible_; }
  bool Minimized() const { return minimized_; }
  // Called by the view when the user restores a minimised window.
  void Restored();
  TControl* ActiveControl() const { return active_control_; }
  // Every control, in creation order.
  const std::array<TControl*, 22>& Controls() const { return controls_; }
  // The popup menu's entries in their order.
  const std::array<TMenuItem*, 8>& PopupMenu1() const { return popup_menu_; }
  // The view's hook, called after every change of the window state.
  void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }
  // Called once by the exit command, after everything is saved: the message loop should end.
  std::function<void()> OnTerminate;

  // Handlers.
  void UOClientPortChange() { relay_control_.UOClientPortChange(); }
  void UOServerPortChange() { relay_control_.UOServerPortChange(); }
  void StartButtonClick() { relay_control_.StartButtonClick(); }
  void StopButtonClick() { relay_control_.StopButtonClick(); }
  // Asked when the window is to close; sets allow to false to refuse.
  void FormClose(bool& allow);
  // The exit steps; every way out of the program comes here, and they run once.
  void TrayMenuBeendenClick();
  // The desktop session saves its state, perhaps without ending: the settings are written
  // and the program goes on.
  void SaveSession();
  void TrayMenuAnzeigenClick();
  void TrayMenuVerbergenClick();
  void TrayMenuSymbolAnimCheckClick();
  void AnimTimerTimer();
  void HideTimerTimer();
  void TrayIconNotify(TrayEvent event);
  void ApplyStartHidden();
  void ShowTrayFrame(int index);
  void IdLogEvent1Send(TIdConnectionIntercept& sender, TIdTCPConnection& connection,
                       TMemoryStream& stream);

  // Runs a command and shows an error that escapes it in the general error box.
  void RunGuarded(const std::function<void()>& command);

  bool Running() const { return relay_control_.Running(); }
  TIdMappedPortTCP* RelayServer() const { return relay_control_.RelayServer(); }
  const IconImage& TrayImage() const { return tray_image_; }
  MediaTriggers& Media() { return media_; }

  // Controls and components, in the window's order.
  TMenuItem TrayMenuBeenden{"TrayMenuBeenden", "&Beenden"};
  TMenuItem N1{"N1", "-"};
  TMenuItem TrayMenuAnzeigen{"TrayMenuAnzeigen", "&Anzeigen"};
  TMenuItem TrayMenuStart{"TrayMenuStart", "&Start"};
  TMenuItem TrayMenuStop{"TrayMenuStop", "&Stop"};
  TTimer HideTimer;
  TMenuItem TrayMenuVerbergen{"TrayMenuVerbergen", "&Verbergen"};
  const std::vector<IconImage> IconImageList;
  TTimer AnimTimer;
  TMenuItem N2{"N2", "-"};
  TMenuItem TrayMenuSymbolAnimCheck{"TrayMenuSymbolAnimCheck", "S&ymbolanimation", true};
  TIdLogEvent IdLogEvent1;
  TContainer GroupBox5;
  TLogPane LogTalking;
  TContainer Panel1;
  TContainer GroupBox1;
  TLabel Label1;
  TLabel Label2;
  TLabel Label6;
  TEdit UOClientPort;
  TEdit UOClientLoginServer;
  TContainer GroupBox2;
  TLabel Label3;
  TLabel Label4;
  TLabel Label5;
  TEdit UOServerIP;
  TEdit UOServerPort;
  TContainer GroupBox3;
  TLabel Label7;
  TLabel Label8;
  TLabel UOClientStatus;
  TLabel UOServerStatus;
  TButton StopButton;
  TButton StartButton;

 private:
  void WireHandlers();
  void StartRecovery();
  void ShowErrorBox(const std::exception& error);
  void FormCreate();
  void ReadSettings();
  void SaveSettings();
  void SaveLog();
  void ShowMainWindow();
  void HideMainWindow();
  void SetShown(bool shown);
  void WindowShownOrHidden();
  void Changed() const;
  std::filesystem::path InFolder(const char* name) const;

  // RelayControlHost
  TIdConnectionIntercept& Tap() override { return IdLogEvent1; }
  void SetTapActive(bool active, int client_port) override;
  void FocusControl(TControl& control) override;
  void TrayRelayStarted() override;
  void TrayRelayStopped() override;

  MainFormServices services_;
  std::string caption_ = "Velmor V1.1.3";
  std::array<TControl*, 22> controls_;
  std::array<TMenuItem*, 8> popup_menu_;
  TRelayControl relay_control_;
  MediaTriggers media_;
  LiveLogFile live_log_;
  HueTable hue_table_;
  MainThreadSpeech speech_;
  DecodingSessions decoding_;
  SpeechPackets speech_packets_{speech_};
  WindowSettings settings_;
  IconImage tray_image_;
  TrayAnimation animation_;
  std::atomic<int> tap_client_port_{0};
  bool visible_ = true;
  bool minimized_ = false;
  bool exiting_ = false;
  TControl* active_control_ = nullptr;
  // Recovers what earlier runs left behind, beside this run; told to stop at the end.
  std::atomic<bool> stop_recovery_{false};
  std::thread recovery_;
  std::function<void()> observer_;
};

}  // namespace velmor
