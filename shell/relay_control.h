#pragma once

#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "relay/intercept.h"
#include "shell/controls.h"

namespace velmor {

class TIdMappedPortTCP;

// The main window's controls that configure and show the relay.
struct RelayControls {
  TEdit& UOClientPort;
  TEdit& UOClientLoginServer;
  TEdit& UOServerIP;
  TEdit& UOServerPort;
  TLabel& UOClientStatus;
  TLabel& UOServerStatus;
  TButton& StartButton;
  TButton& StopButton;
  TMenuItem& TrayMenuStart;
  TMenuItem& TrayMenuStop;
};

// What Start and Stop need of the window beyond these controls.
class RelayControlHost {
 public:
  virtual ~RelayControlHost() = default;
  // The tap attached to every client connection.
  virtual TIdConnectionIntercept& Tap() = 0;
  // Switches the tap on (with the client port the relay listens on) or off.
  virtual void SetTapActive(bool active, int client_port) = 0;
  virtual void FocusControl(TControl& control) = 0;
  // The tray's last steps of a successful Start and Stop.
  virtual void TrayRelayStarted() = 0;
  virtual void TrayRelayStopped() = 0;
};

// The line for the game client's "login.cfg".
std::string LoginServerLine(const std::string& client_port_text);

extern const char* const kEqualPortsWarning;
extern const char* const kWarningCaption;

// Start, Stop and the port fields' change handlers. Main thread only. The enabled state of
// TrayMenuStop is the running flag. Start and Stop raise velmor::Exception on failure and
// leave the window in the look it had; the caller shows the error box.
class TRelayControl {
 public:
  TRelayControl(RelayControls controls, Dialogs& dialogs, RelayControlHost& host);
  ~TRelayControl();

  void UOClientPortChange();
  void UOServerPortChange();
  // Fills the three relay fields with saved texts, then compares the ports once: field by
  // field, a saved client port equal to the server field's old text would be reported as
  // equal to a server port that differs.
  void FillFields(const std::string& client_port, const std::string& server_ip,
                  const std::string& server_port);
  void StartButtonClick();
  void StopButtonClick();

  bool Running() const { return controls_.TrayMenuStop.Enabled(); }
  // The client port the status and login lines name: the typed text, or while a relay
  // listens on a port the system picked (port 0 typed), that port.
  std::string AdvertisedClientPort() const;
  // The current relay: empty before the first Start and after a successful Stop.
  TIdMappedPortTCP* RelayServer() const { return relay_server_.get(); }
  // Destroys a relay that is still alive, without Stop's changes to the window: the end of
  // the program. Its destruction stops it and drops its connections.
  void ReleaseRelay();

 private:
  void PortChanged();
  void SetFieldsLook(bool running);

  RelayControls controls_;
  Dialogs& dialogs_;
  RelayControlHost& host_;
  std::unique_ptr<TIdMappedPortTCP> relay_server_;
  std::string advertised_port_;  // set by a successful Start, cleared by Stop
  bool filling_fields_ = false;
};

}  // namespace velmor
