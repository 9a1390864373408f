#include "shell/relay_control.h"

#include "platform/exception.h"
#include "relay/host_address.h"
#include "relay/mapped_port.h"
#include "relay/str_to_int.h"

namespace velmor {

const char* const kEqualPortsWarning =
    "Einstellungen von Client und Server\nd\xFCrfen nicht den selben Port belegen!";
const char* const kWarningCaption = "Achtung!";

namespace {

// A port the socket layer can use as typed; anything else would be silently cut to its
// low 16 bits while the window advertises the number typed.
std::int32_t PortFromText(const std::string& text) {
  const std::int32_t port = StrToInt(text);
  if (port < 0 || port > 65535) {
    throw Exception("'" + text + "' ist keine g\xFCltige Portnummer (0 bis 65535)");
  }
  return port;
}

}  // namespace

std::string LoginServerLine(const std::string& client_port_text) {
  return "LoginServer=127.0.0.1," + client_port_text;
}

TRelayControl::TRelayControl(RelayControls controls, Dialogs& dialogs, RelayControlHost& host)
    : controls_(controls), dialogs_(dialogs), host_(host) {}

TRelayControl::~TRelayControl() = default;

void TRelayControl::ReleaseRelay() {
  relay_server_.reset();
}

void TRelayControl::UOClientPortChange() {
  PortChanged();
  controls_.UOClientLoginServer.SetText(LoginServerLine(controls_.UOClientPort.Text()));
}

void TRelayControl::UOServerPortChange() {
  PortChanged();
}

void TRelayControl::FillFields(const std::string& client_port, const std::string& server_ip,
                               const std::string& server_port) {
  filling_fields_ = true;
  controls_.UOClientPort.SetText(client_port);
  controls_.UOServerIP.SetText(server_ip);
  controls_.UOServerPort.SetText(server_port);
  filling_fields_ = false;
  PortChanged();
}

void TRelayControl::PortChanged() {
  if (filling_fields_) return;
  if (controls_.UOClientPort.Text() == controls_.UOServerPort.Text()) {
    dialogs_.ShowWarning(kEqualPortsWarning, kWarningCaption);
    controls_.StartButton.SetVisible(false);
  } else {
    controls_.StartButton.SetVisible(!controls_.StopButton.Visible());
  }
}

void TRelayControl::StartButtonClick() {
  // Read and check everything before anything is built, so a refused Start leaves nothing.
  const std::int32_t server_port = PortFromText(controls_.UOServerPort.Text());
  const std::int32_t client_port = PortFromText(controls_.UOClientPort.Text());
  const std::string& server_host = controls_.UOServerIP.Text();
  // A relay that forwards to its own listener would connect to itself without end.
  if (server_port == client_port && NamesThisMachine(server_host)) {
    dialogs_.ShowWarning(kEqualPortsWarning, kWarningCaption);
    return;
  }

  relay_server_ = std::make_unique<TIdMappedPortTCP>();
  TIdMappedPortTCP& relay = *relay_server_;
  relay.MappedHost = server_host;
  relay.MappedPort = server_port;
  relay.DefaultPort = client_port;
  relay.Intercept = &host_.Tap();
  relay.AddBinding();
  relay.SetActive(true);
  // Port 0 lets the system pick one; the game client has to be told the port picked.
  const std::int32_t listening_port = relay.BoundPort(0);
  advertised_port_ =
      client_port == 0 ? std::to_string(listening_port) : controls_.UOClientPort.Text();
  host_.SetTapActive(true, listening_port);

  SetFieldsLook(true);
  controls_.StartButton.SetVisible(false);
  controls_.StopButton.SetVisible(true);
  controls_.UOClientLoginServer.SetText(LoginServerLine(advertised_port_));
  controls_.UOClientStatus.SetCaption("Serving 127.0.0.1," + advertised_port_);
  controls_.UOClientStatus.SetFontColor(clGreen);
  controls_.UOServerStatus.SetCaption("Listening to " + server_host + "," +
                                      controls_.UOServerPort.Text());
  controls_.UOServerStatus.SetFontColor(clGreen);
  controls_.TrayMenuStart.SetEnabled(false);
  controls_.TrayMenuStop.SetEnabled(true);
  host_.FocusControl(controls_.StopButton);
  host_.TrayRelayStarted();
}

void TRelayControl::StopButtonClick() {
  if (relay_server_) {
    relay_server_->SetActive(false);
    host_.SetTapActive(false, 0);
    relay_server_.reset();
  }
  advertised_port_.clear();
  SetFieldsLook(false);
  controls_.UOClientLoginServer.SetText(LoginServerLine(controls_.UOClientPort.Text()));
  controls_.StartButton.SetVisible(true);
  controls_.StopButton.SetVisible(false);
  controls_.UOClientStatus.SetCaption("offline");
  controls_.UOClientStatus.SetFontColor(clRed);
  controls_.UOServerStatus.SetCaption("offline");
  controls_.UOServerStatus.SetFontColor(clRed);
  controls_.TrayMenuStart.SetEnabled(true);
  controls_.TrayMenuStop.SetEnabled(false);
  host_.FocusControl(controls_.StartButton);
  host_.TrayRelayStopped();
}

std::string TRelayControl::AdvertisedClientPort() const {
  return advertised_port_.empty() ? controls_.UOClientPort.Text() : advertised_port_;
}

void TRelayControl::SetFieldsLook(bool running) {
  for (TEdit* field : {&controls_.UOClientPort, &controls_.UOServerIP, &controls_.UOServerPort}) {
    field->SetColor(running ? clInactiveCaptionText : clWindow);
    field->SetReadOnly(running);
  }
}

}  // namespace velmor
