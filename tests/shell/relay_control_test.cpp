#include "platform/socket.h"
#include "relay/mapped_port.h"
#include "relay/thread_count.h"
#include "tests/shell/main_form_fixture.h"
#include "tests/support/loopback.h"

namespace velmor::testing {
namespace {

const std::string kEqualPorts =
    "Einstellungen von Client und Server\nd\xFCrfen nicht den selben Port belegen!";

class RelayControlTest : public MainFormTest {
 protected:
  // Ports where nothing listens: the relay's own on a port the system picks.
  TMainForm& CreateStopped() {
    TMainForm& form = Create();
    form.UOClientPort.SetText("0");
    form.UOServerPort.SetText("1");
    dialogs_.boxes.clear();
    return form;
  }
};

TEST_F(RelayControlTest, EqualPortTextsWarnAndHideStartUntilTheyDiffer) {
  TMainForm& form = Create();
  form.UOClientPort.SetText("2593");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].kind, RecordingDialogs::Box::kWarning);
  EXPECT_EQ(dialogs_.boxes[0].text, kEqualPorts);
  EXPECT_EQ(dialogs_.boxes[0].caption, "Achtung!");
  EXPECT_FALSE(form.StartButton.Visible());
  EXPECT_TRUE(form.TrayMenuStart.Enabled());
  // The login line follows every change, the warned one included.
  EXPECT_EQ(form.UOClientLoginServer.Text(), "LoginServer=127.0.0.1,2593");

  form.UOClientPort.SetText(" 2593");  // texts, not numbers, are compared
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_TRUE(form.StartButton.Visible());
  EXPECT_EQ(form.UOClientLoginServer.Text(), "LoginServer=127.0.0.1, 2593");
}

TEST_F(RelayControlTest, StartAndStopSwitchTheWholeLook) {
  TMainForm& form = CreateStopped();
  form.StartButton.Click();
  ASSERT_TRUE(dialogs_.boxes.empty()) << dialogs_.boxes[0].text;
  ASSERT_NE(form.RelayServer(), nullptr);
  EXPECT_TRUE(form.RelayServer()->Active());
  EXPECT_TRUE(form.IdLogEvent1.Active);
  for (TEdit* field : {&form.UOClientPort, &form.UOServerIP, &form.UOServerPort}) {
    EXPECT_TRUE(field->ReadOnly());
    EXPECT_EQ(field->Color(), clInactiveCaptionText);
  }
  EXPECT_FALSE(form.StartButton.Visible());
  EXPECT_TRUE(form.StopButton.Visible());
  // Client port 0: the status and login lines name the port the system picked.
  const std::string port = std::to_string(form.RelayServer()->BoundPort(0));
  EXPECT_NE(port, "0");
  EXPECT_EQ(form.UOClientStatus.Caption(), "Serving 127.0.0.1," + port);
  EXPECT_EQ(form.UOClientLoginServer.Text(), "LoginServer=127.0.0.1," + port);
  EXPECT_EQ(form.UOServerStatus.Caption(), "Listening to 127.0.0.1,1");
  EXPECT_EQ(form.UOClientStatus.FontColor(), clGreen);
  EXPECT_EQ(form.UOServerStatus.FontColor(), clGreen);
  EXPECT_FALSE(form.TrayMenuStart.Enabled());
  EXPECT_TRUE(form.TrayMenuStop.Enabled());
  EXPECT_EQ(form.ActiveControl(), &form.StopButton);
  EXPECT_EQ(tray_.tip, "Velmor (Aktiv)");

  form.TrayMenuStop.Click();
  EXPECT_EQ(form.RelayServer(), nullptr);
  EXPECT_FALSE(form.IdLogEvent1.Active);
  for (TEdit* field : {&form.UOClientPort, &form.UOServerIP, &form.UOServerPort}) {
    EXPECT_FALSE(field->ReadOnly());
    EXPECT_EQ(field->Color(), clWindow);
  }
  EXPECT_TRUE(form.StartButton.Visible());
  EXPECT_FALSE(form.StopButton.Visible());
  EXPECT_EQ(form.UOClientStatus.Caption(), "offline");
  EXPECT_EQ(form.UOClientLoginServer.Text(), "LoginServer=127.0.0.1,0");
  EXPECT_EQ(form.UOServerStatus.FontColor(), clRed);
  EXPECT_TRUE(form.TrayMenuStart.Enabled());
  EXPECT_FALSE(form.TrayMenuStop.Enabled());
  EXPECT_EQ(form.ActiveControl(), &form.StartButton);
  EXPECT_EQ(tray_.tip, "Velmor");
  EXPECT_EQ(TrayFrame(), 16);
}

TEST_F(RelayControlTest, LaunchOnClientPortZeroShowsThePortPicked) {
  WriteSettings("0\r\n127.0.0.1\r\n1\r\nStart\r\nShow\r\nAnim\r\n");
  TMainForm& form = Create();
  ASSERT_NE(form.RelayServer(), nullptr);
  EXPECT_EQ(form.UOClientLoginServer.Text(),
            "LoginServer=127.0.0.1," + std::to_string(form.RelayServer()->BoundPort(0)));
}

TEST_F(RelayControlTest, NonNumericPortIsReportedAndNothingStarts) {
  TMainForm& form = CreateStopped();
  form.UOServerPort.SetText("abc");
  form.StartButton.Click();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].kind, RecordingDialogs::Box::kError);
  EXPECT_EQ(dialogs_.boxes[0].text, "'abc' is not a valid integer value.");
  EXPECT_EQ(dialogs_.boxes[0].caption, "Velmor");
  EXPECT_EQ(form.RelayServer(), nullptr);
  EXPECT_FALSE(form.Running());

  form.UOServerPort.SetText("");
  form.TrayMenuStart.Click();
  EXPECT_EQ(dialogs_.boxes.back().text, "'' is not a valid integer value.");
}

TEST_F(RelayControlTest, PortOutsideTheSocketRangeIsRefused) {
  TMainForm& form = CreateStopped();
  form.UOClientPort.SetText("70000");
  form.StartButton.Click();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "'70000' ist keine g\xFCltige Portnummer (0 bis 65535)");
  EXPECT_FALSE(form.Running());
}

TEST_F(RelayControlTest, RelayToItsOwnListenerIsRefusedFromEveryPath) {
  TMainForm& form = CreateStopped();
  form.UOServerPort.SetText("0x1388");  // 5000, written differently
  form.UOClientPort.SetText("5000");
  for (const char* host : {"127.0.0.1", "LocalHost", "127.1.2.3", "127.1", "0x7f.1", "2130706433",
                           "0", "::1", "::ffff:127.0.0.1"}) {
    dialogs_.boxes.clear();
    form.UOServerIP.SetText(host);
    form.TrayMenuStart.Click();
    ASSERT_EQ(dialogs_.boxes.size(), 1u) << host;
    EXPECT_EQ(dialogs_.boxes[0].text, kEqualPorts);
    EXPECT_FALSE(form.Running()) << host;
    EXPECT_EQ(form.RelayServer(), nullptr);
  }
}

TEST_F(RelayControlTest, PortInUseIsReportedAndLeavesTheWindowStopped) {
  Socket blocker = Socket::Open();
  blocker.Bind(0, 0);  // every local address
  blocker.Listen(1);

  TMainForm& form = CreateStopped();
  form.UOClientPort.SetText(std::to_string(blocker.LocalPort()));
  form.StartButton.Click();
  blocker.Close();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Could not bind socket. Address and port are already in use.");
  EXPECT_FALSE(form.Running());
  EXPECT_TRUE(form.StartButton.Visible());
  EXPECT_FALSE(form.UOClientPort.ReadOnly());
}

TEST_F(RelayControlTest, StopWhileAClientWaitsForAServerThatDoesNotAnswerShowsTheStoppedLook) {
  BlackHoleServer server;
  TMainForm& form = CreateStopped();
  form.UOServerPort.SetText(std::to_string(server.Port()));
  form.StartButton.Click();
  ASSERT_TRUE(form.Running());
  Socket client = ConnectTo(static_cast<std::uint16_t>(form.RelayServer()->BoundPort(0)));
  ASSERT_TRUE(Eventually([&] { return form.RelayServer()->ConnectionCount() == 1; }));

  form.StopButton.Click();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.boxes[0].text;
  EXPECT_FALSE(form.Running());
  EXPECT_EQ(form.UOClientStatus.Caption(), "offline");
  EXPECT_EQ(form.RelayServer(), nullptr);
  EXPECT_TRUE(SeesClose(client));
  EXPECT_TRUE(WaitForRelayThreads(kPatience));
}

TEST_F(RelayControlTest, FailedStopKeepsTheRunningLookAndCanBeRunAgain) {
  Socket server = ListenLoopback();
  // A worker that truly does not end: its tap call hangs until the gate opens.
  auto tap_call = std::make_shared<Gate>();
  const std::shared_ptr<void> open_at_end(nullptr, [tap_call](void*) { tap_call->Open(); });
  TMainForm& form = CreateStopped();
  form.UOServerPort.SetText(std::to_string(server.LocalPort()));
  form.IdLogEvent1.OnSend = [tap_call](auto&, auto&, auto&) { tap_call->Pass(); };
  form.StartButton.Click();
  TIdMappedPortTCP* relay = form.RelayServer();
  ASSERT_NE(relay, nullptr);
  relay->TerminateWaitTime = 300;
  Socket client = ConnectTo(static_cast<std::uint16_t>(relay->BoundPort(0)));
  Socket upstream = AcceptWithin(server);
  SendText(upstream, "x");
  ASSERT_TRUE(Eventually([&] { return tap_call->arrived == 1; }));

  form.StopButton.Click();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Terminate Thread Timeout.");
  EXPECT_TRUE(form.Running());
  EXPECT_TRUE(form.StopButton.Visible());
  EXPECT_FALSE(form.StartButton.Visible());
  EXPECT_TRUE(form.UOClientPort.ReadOnly());
  EXPECT_EQ(form.UOClientStatus.FontColor(), clGreen);
  EXPECT_EQ(tray_.tip, "Velmor (Aktiv)");
  EXPECT_TRUE(form.IdLogEvent1.Active);
  EXPECT_EQ(form.RelayServer(), relay);

  tap_call->Open();
  form.StopButton.Click();
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_FALSE(form.Running());
  EXPECT_EQ(form.RelayServer(), nullptr);
  EXPECT_FALSE(form.IdLogEvent1.Active);
}

TEST_F(RelayControlTest, StartStopStartBuildsAFreshRelayEachTime) {
  TMainForm& form = CreateStopped();
  form.StartButton.Click();
  const std::int32_t port = form.RelayServer()->BoundPort(0);
  form.StopButton.Click();
  form.UOClientPort.SetText(std::to_string(port));
  form.StartButton.Click();
  ASSERT_TRUE(dialogs_.boxes.empty()) << dialogs_.boxes[0].text;
  EXPECT_EQ(form.RelayServer()->BoundPort(0), port);
  form.StopButton.Click();
  EXPECT_FALSE(form.Running());
}

}  // namespace
}  // namespace velmor::testing
