#include "shell/UOListener.h"

#include <ctime>
#include <exception>

#include "platform/atomic_file.h"
#include "platform/exception.h"
#include "platform/file_io.h"
#include "platform/time_text.h"
#include "relay/mapped_port.h"
#include "shell/application_title.h"
#include "shell/settings_file.h"
#include "shell/tray_images.h"
#include "speech/live_log_recovery.h"

namespace velmor {
namespace {

constexpr int kStoppedImage = TrayAnimation::kStoppedImage;

std::string TrayTip(bool running) {
  return running ? "Velmor (Aktiv)" : "Velmor";
}

}  // namespace

TMainForm::TMainForm(MainFormServices services)
    : HideTimer(services.timers, 100),
      IconImageList(DrawTrayImages()),
      AnimTimer(services.timers, TrayAnimation::kInterval),
      GroupBox5(ControlKind::kGroupBox, "GroupBox5", nullptr, {329, 0, 320, 347},
                "Gespr\xE4"
                "che / Systemmeldungen",
                {.right = true, .bottom = true}),
      LogTalking("LogTalking", &GroupBox5, {2, 15, 316, 330}, {.right = true, .bottom = true}),
      Panel1(ControlKind::kPanel, "Panel1", nullptr, {0, 0, 329, 347}, {}, {.bottom = true}),
      GroupBox1(ControlKind::kGroupBox, "GroupBox1", &Panel1, {8, 0, 313, 137},
                "Einstellungen zur Kommunikation zum UO-Client"),
      Label1("Label1", &GroupBox1, {16, 24, 276, 26},
             "Der hier eingetragene Wert definiert die Server-Einstellung gegen\xFC"
             "ber der Anwendung \"client.exe\":",
             true),
      Label2("Label2", &GroupBox1, {16, 60, 22, 13}, "Port:"),
      Label6("Label6", &GroupBox1, {16, 88, 268, 13},
             "In die Datei \"login.cfg\" ist die folgende Zeile einzutragen:"),
      UOClientPort("UOClientPort", &GroupBox1, {48, 56, 121, 21}, "2592"),
      UOClientLoginServer("UOClientLoginServer", &GroupBox1, {16, 104, 281, 21},
                          "LoginServer=127.0.0.1,2592"),
      GroupBox2(ControlKind::kGroupBox, "GroupBox2", &Panel1, {8, 144, 313, 129},
                "Einstellungen zur Kommunikation zum UOServer"),
      Label3("Label3", &GroupBox2, {16, 24, 279, 26},
             "Die hier eingetragenen Werte entsprechen den in der Datei \"sphere.ini\" "
             "eingetragenen Werten: ",
             true),
      Label4("Label4", &GroupBox2, {16, 68, 13, 13}, "IP:"),
      Label5("Label5", &GroupBox2, {16, 100, 22, 13}, "Port:"),
      UOServerIP("UOServerIP", &GroupBox2, {48, 64, 121, 21}, "127.0.0.1"),
      UOServerPort("UOServerPort", &GroupBox2, {48, 96, 121, 21}, "2593"),
      GroupBox3(ControlKind::kGroupBox, "GroupBox3", &Panel1, {8, 280, 313, 57}, "Status"),
      Label7("Label7", &GroupBox3, {8, 16, 48, 13}, "UO-Client:"),
      Label8("Label8", &GroupBox3, {8, 32, 31, 13}, "Server"),
      UOClientStatus("UOClientStatus", &GroupBox3, {64, 16, 28, 13}, "offline"),
      UOServerStatus("UOServerStatus", &GroupBox3, {64, 32, 28, 13}, "offline"),
      StopButton("StopButton", &GroupBox3, {240, 16, 57, 33}, "STOP"),
      StartButton("StartButton", &GroupBox3, {240, 16, 57, 33}, "Start"),
      services_(std::move(services)),
      controls_{&GroupBox5,      &LogTalking,     &Panel1,
                &GroupBox1,      &Label1,         &Label2,
                &UOClientPort,   &Label6,         &UOClientLoginServer,
                &GroupBox2,      &Label3,         &Label4,
                &UOServerIP,     &Label5,         &UOServerPort,
                &GroupBox3,      &Label7,         &Label8,
                &UOClientStatus, &UOServerStatus, &StartButton,
                &StopButton},
      popup_menu_{&TrayMenuAnzeigen,
                  &TrayMenuVerbergen,
                  &TrayMenuSymbolAnimCheck,
                  &N2,
                  &TrayMenuStart,
                  &TrayMenuStop,
                  &N1,
                  &TrayMenuBeenden},
      relay_control_(
          RelayControls{UOClientPort, UOClientLoginServer, UOServerIP, UOServerPort, UOClientStatus,
                        UOServerStatus, StartButton, StopButton, TrayMenuStart, TrayMenuStop},
          services_.dialogs, *this),
      media_(
          services_.media, services_.dispatcher,
          [this](const LogLine& line) { LogTalking.AppendLogLine(line); },
          [] { return velmor::TimeText(); }),
      live_log_(LogTalking, services_.folder, services_.timers),
      hue_table_(TextFromPath(services_.folder / "hues.mul")),
      speech_(services_.dispatcher, hue_table_, LogTalking, media_) {
  Label2.FocusControl = &UOClientPort;
  Label6.FocusControl = &UOClientLoginServer;
  Label4.FocusControl = &UOServerIP;
  Label5.FocusControl = &UOServerPort;
  UOClientLoginServer.SetReadOnly(true);
  UOClientLoginServer.SetColor(clInactiveCaptionText);
  UOClientStatus.SetFontColor(clRed);
  UOServerStatus.SetFontColor(clRed);
  StartButton.SetFontColor(clBlack);
  StopButton.SetVisible(false);
  TrayMenuVerbergen.SetVisible(false);
  TrayMenuSymbolAnimCheck.SetChecked(true);
  TrayMenuStop.SetEnabled(false);
  IdLogEvent1.OnSend = [this](TIdConnectionIntercept& sender, TIdTCPConnection& connection,
                              TMemoryStream& stream) {
    IdLogEvent1Send(sender, connection, stream);
  };
  IdLogEvent1.OnDisconnect = [this](TIdConnectionIntercept&, TIdTCPConnection& connection) {
    decoding_.Forget(ConnectionIdOf(connection));
  };
  WireHandlers();
  services_.tray.SetEventHandler(
      [this](TrayEvent event) { RunGuarded([this, event] { TrayIconNotify(event); }); });

  // What a run that ended without its exit steps left behind becomes a log file, beside the
  // start: a file of any size, or one that does not read, must not hold this run up.
  StartRecovery();
  // The hue file is probed before FormCreate can start the relay, so the first block a
  // client sends is coloured like every later one; the packet length table is constant.
  hue_table_.ProbeHueFile();
  live_log_.ExpectColors(hue_table_.EntryCount() + 1);
  RunGuarded([this] { FormCreate(); });
}

void TMainForm::StartRecovery() {
  try {
    recovery_ = std::thread([folder = services_.folder, stop = &stop_recovery_] {
      try {
        RemoveStagedFilesLeftBehind(folder, [](const std::string& target) {
          return target == kSettingsFileName || target.rfind("Velmor_Logfile_", 0) == 0;
        });
        RecoverLiveLogFiles(folder, stop);
      } catch (...) {
        // The files stay for the next start.
      }
    });
  } catch (const std::system_error&) {
    // No thread to spare: the files stay for the next start.
  }
}

TMainForm::~TMainForm() {
  stop_recovery_ = true;
  if (recovery_.joinable()) recovery_.join();
  services_.tray.SetEventHandler(nullptr);
  speech_.Close();
  // The relay goes first: it was created last, and its workers use the tap and the
  // decoding state.
  relay_control_.ReleaseRelay();
}

void TMainForm::WireHandlers() {
  const auto guarded = [this](void (TMainForm::*handler)()) {
    return [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); };
  };
  UOClientPort.OnChange = guarded(&TMainForm::UOClientPortChange);
  UOServerPort.OnChange = guarded(&TMainForm::UOServerPortChange);
  StartButton.OnClick = guarded(&TMainForm::StartButtonClick);
  StopButton.OnClick = guarded(&TMainForm::StopButtonClick);
  TrayMenuStart.OnClick = guarded(&TMainForm::StartButtonClick);
  TrayMenuStop.OnClick = guarded(&TMainForm::StopButtonClick);
  TrayMenuBeenden.OnClick = guarded(&TMainForm::TrayMenuBeendenClick);
  TrayMenuAnzeigen.OnClick = guarded(&TMainForm::TrayMenuAnzeigenClick);
  TrayMenuVerbergen.OnClick = guarded(&TMainForm::TrayMenuVerbergenClick);
  TrayMenuSymbolAnimCheck.OnClick = guarded(&TMainForm::TrayMenuSymbolAnimCheckClick);
  AnimTimer.OnTimer = guarded(&TMainForm::AnimTimerTimer);
  HideTimer.OnTimer = guarded(&TMainForm::HideTimerTimer);
}

void TMainForm::RunGuarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    ShowErrorBox(error);
  }
}

void TMainForm::ShowErrorBox(const std::exception& error) {
  services_.dialogs.ShowError(ErrorBoxText(error.what()), ApplicationTitle(services_.program_file));
}

std::filesystem::path TMainForm::InFolder(const char* name) const {
  return services_.folder / name;
}

// --- Start-up ---------------------------------------------------------------------------

void TMainForm::FormCreate() {
  tray_image_ = IconImageList[TrayAnimation::kStillImage];
  services_.tray.Add(tray_image_, TrayTip(Running()));
  ReadSettings();
  relay_control_.FillFields(settings_.Line(kClientPortLine), settings_.Line(kServerIpLine),
                            settings_.Line(kServerPortLine));
  TrayMenuSymbolAnimCheck.SetChecked(settings_.Animated());
  if (settings_.StartRelay()) {
    // The relay is stopped until Start succeeds; a refused or failed Start leaves it so.
    ShowTrayFrame(kStoppedImage);
    StartButtonClick();
  } else {
    StopButtonClick();
  }
  UOClientLoginServer.SetText(LoginServerLine(relay_control_.AdvertisedClientPort()));
  LogTalking.WriteStartLine();
}

void TMainForm::ReadSettings() {
  if (!settings_.Load(
          InFolder(kSettingsFileName),
          DefaultSettingsLines(UOClientPort.Text(), UOServerIP.Text(), UOServerPort.Text()))) {
    ShowTrayFrame(kStoppedImage);
  }
}

void TMainForm::ApplyStartHidden() {
  if (settings_.StartHidden()) {
    TrayMenuAnzeigen.SetVisible(true);
    TrayMenuVerbergen.SetVisible(false);
    HideTimer.SetEnabled(true);
  } else {
    HideTimer.SetEnabled(false);
    TrayMenuAnzeigen.SetVisible(false);
    TrayMenuVerbergen.SetVisible(true);
  }
}

// --- Close and exit ---------------------------------------------------------------------

void TMainForm::FormClose(bool& allow) {
  if (exiting_) return;
  HideMainWindow();
  allow = false;
}

void TMainForm::TrayMenuBeendenClick() {
  // Once only: a signal or the end of the session may ask again while a message box of
  // these steps runs its loop.
  if (exiting_) return;
  exiting_ = true;
  media_.ReleasePlayers();
  // Lines that workers posted before this command still belong in the log; a play request
  // among them finds the players released.
  services_.dispatcher.RunPending();
  LogTalking.WriteEndLine();
  SaveLog();
  SaveSettings();
  services_.tray.Remove();
  // Lines that workers post from now on would reach no file: drop them.
  speech_.Close();
  if (OnTerminate) OnTerminate();
}

void TMainForm::SaveSession() {
  if (!exiting_) SaveSettings();
}

void TMainForm::SaveLog() {
  try {
    LogTalking.SaveLogFile(TextFromPath(services_.folder));
    // The log file holds every line now.
    live_log_.Discard();
  } catch (const std::exception& error) {
    // Without room for a second copy (a full disk, say), the live file becomes the log
    // file. Only when that fails too is the error reported; the live file then stays for
    // the next start, and the exit goes on to save the settings.
    try {
      live_log_.KeepAsLogFile(LogFileName(LocalNow()));
    } catch (const std::exception&) {
      ShowErrorBox(error);
    }
  }
}

void TMainForm::SaveSettings() {
  const WindowState state{UOClientPort.Text(),     UOServerIP.Text(),
                          UOServerPort.Text(),     Running(),
                          visible_ && !minimized_, TrayMenuSymbolAnimCheck.Checked()};
  if (!settings_.Save(InFolder(kSettingsFileName), state)) {
    services_.dialogs.ShowWarning("Konfiguration konnte nicht gespeichert werden!",
                                  kWarningCaption);
  }
}

// --- Window state -----------------------------------------------------------------------

void TMainForm::SetShown(bool shown) {
  if (visible_ == shown && !minimized_) return;
  visible_ = shown;
  minimized_ = false;
  WindowShownOrHidden();
}

// The menu offers what would change the window: "&Anzeigen" for a hidden window,
// "&Verbergen" for a shown one, however it came to be hidden or shown (a close, a
// double-click on the icon). An entry that would do nothing visible is never offered.
void TMainForm::WindowShownOrHidden() {
  const bool shown = visible_ && !minimized_;
  TrayMenuAnzeigen.SetVisible(!shown);
  TrayMenuVerbergen.SetVisible(shown);
  Changed();
}

void TMainForm::ShowMainWindow() {
  SetShown(true);
}

void TMainForm::HideMainWindow() {
  if (services_.tray.Available()) {
    SetShown(false);
    return;
  }
  // Without a notification area a hidden window could never be brought back: it goes to
  // the taskbar instead.
  if (!minimized_) {
    minimized_ = true;
    WindowShownOrHidden();
  }
}

void TMainForm::Restored() {
  if (!minimized_) return;
  minimized_ = false;
  visible_ = true;
  WindowShownOrHidden();
}

void TMainForm::Changed() const {
  if (observer_) observer_();
}

void TMainForm::FocusControl(TControl& control) {
  active_control_ = &control;
  Changed();
}

// --- Tray -------------------------------------------------------------------------------

void TMainForm::ShowTrayFrame(int index) {
  tray_image_ = IconImageList.at(static_cast<std::size_t>(index));
  services_.tray.Modify(tray_image_, TrayTip(Running()));
}

void TMainForm::AnimTimerTimer() {
  ShowTrayFrame(animation_.Step());
}

void TMainForm::TrayRelayStarted() {
  AnimTimer.SetEnabled(false);
  animation_.Rewind();
  AnimTimerTimer();
  AnimTimer.SetInterval(TrayAnimation::kInterval);
  AnimTimer.SetEnabled(TrayMenuSymbolAnimCheck.Checked());
}

void TMainForm::TrayRelayStopped() {
  AnimTimer.SetEnabled(false);
  animation_.Rewind();
  ShowTrayFrame(kStoppedImage);
}

void TMainForm::TrayMenuSymbolAnimCheckClick() {
  TrayMenuSymbolAnimCheck.SetChecked(!TrayMenuSymbolAnimCheck.Checked());
  if (TrayMenuSymbolAnimCheck.Checked() && Running()) {
    AnimTimer.SetInterval(TrayAnimation::kInterval);
    AnimTimer.SetEnabled(true);
    return;
  }
  AnimTimer.SetEnabled(false);
  animation_.Stand();
  ShowTrayFrame(Running() ? TrayAnimation::kStillImage : kStoppedImage);
}

void TMainForm::TrayIconNotify(TrayEvent event) {
  switch (event) {
    case TrayEvent::kDoubleClick:
      SetShown(!visible_ || minimized_);
      break;
    case TrayEvent::kRightButtonUp:
      services_.tray.PopUpMenuAtCursor();
      break;
  }
}

void TMainForm::HideTimerTimer() {
  HideMainWindow();
  HideTimer.SetEnabled(false);
}

void TMainForm::TrayMenuAnzeigenClick() {
  ShowMainWindow();
  TrayMenuAnzeigen.SetVisible(false);
  TrayMenuVerbergen.SetVisible(true);
}

void TMainForm::TrayMenuVerbergenClick() {
  HideMainWindow();
  TrayMenuAnzeigen.SetVisible(true);
  TrayMenuVerbergen.SetVisible(false);
}

// --- Tap and speech ---------------------------------------------------------------------

void TMainForm::SetTapActive(bool active, int client_port) {
  if (active) tap_client_port_ = client_port;
  IdLogEvent1.Active = active;
}

void TMainForm::IdLogEvent1Send(TIdConnectionIntercept&, TIdTCPConnection& connection,
                                TMemoryStream& stream) {
  decoding_.HandleServerBlock(ConnectionIdOf(connection), stream.data, tap_client_port_,
                              speech_packets_);
}

}  // namespace velmor
