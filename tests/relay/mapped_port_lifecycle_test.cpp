#include "tests/relay/relay_fixture.h"
#include "tests/support/system.h"

namespace velmor::testing {
namespace {

using RelayLifecycleTest = RelayTest;

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& error) {
    return error.what();
  }
  return "(no error)";
}

bool Refused(std::uint16_t port) {
  try {
    ConnectTo(port);
  } catch (const EIdSocketError& error) {
    return error.LastError() == kWsaConnRefused;
  }
  return false;
}

TEST_F(RelayLifecycleTest, NewRelayIsInactiveWithTheUsualSettings) {
  TIdMappedPortTCP relay;
  EXPECT_FALSE(relay.Active());
  EXPECT_EQ(relay.BindingCount(), 0u);
  EXPECT_EQ(relay.MappedHost, "");
  EXPECT_EQ(relay.MappedPort, 0);
  EXPECT_EQ(relay.DefaultPort, 0);
  EXPECT_EQ(relay.Intercept, nullptr);
  EXPECT_EQ(relay.ListenQueue, 15);
  EXPECT_EQ(relay.MaxConnections, 0);
  EXPECT_EQ(relay.TerminateWaitTime, 5000);
  EXPECT_EQ(relay.ReuseSocket, TIdReuseSocket::rsOSDependent);
  EXPECT_EQ(relay.Greeting, "");
}

TEST_F(RelayLifecycleTest, NewEndpointTakesTheDefaultPortAndAnyAddress) {
  TIdMappedPortTCP relay;
  relay.DefaultPort = 2592;
  TIdSocketHandle& binding = relay.AddBinding();
  EXPECT_EQ(binding.IP, "");
  EXPECT_EQ(binding.Port, 2592);
  EXPECT_EQ(relay.BoundPort(0), 2592);
}

TEST_F(RelayLifecycleTest, PortInUseFailsWithBindMessageAndLeavesNothingOpen) {
  // Another program's listener refuses the bind. Two endpoints on one port both bind, with
  // address reuse on and nothing listening yet, and the second is refused at its listen.
  for (bool taken_by_own_endpoint : {false, true}) {
    Socket blocker = Socket::Open();
    blocker.Bind(0, 0);
    const std::uint16_t port = blocker.LocalPort();
    if (taken_by_own_endpoint) {
      blocker.Close();
    } else {
      blocker.Listen(1);
    }
    const std::uint16_t free_port = UnusedPort();
    const int descriptors = OpenDescriptors();

    TIdMappedPortTCP relay;
    relay.DefaultPort = free_port;
    relay.AddBinding();
    relay.DefaultPort = port;
    relay.AddBinding();
    if (taken_by_own_endpoint) relay.AddBinding();
    EXPECT_EQ(MessageOf([&] { relay.SetActive(true); }),
              "Could not bind socket. Address and port are already in use.")
        << "taken by own endpoint: " << taken_by_own_endpoint;

    EXPECT_FALSE(relay.Active());
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_TRUE(Refused(free_port)) << "the endpoint bound before the failure still listens";
  }
}

TEST_F(RelayLifecycleTest, OtherBindFailureIsASocketError) {
  TIdMappedPortTCP relay;
  relay.AddBinding().IP = "192.0.2.1";  // not an address of this machine; nothing is sent
  EXPECT_EQ(MessageOf([&] { relay.SetActive(true); }),
            "Socket Error # 10049\r\nCannot assign requested address.");
  EXPECT_FALSE(relay.Active());
}

TEST_F(RelayLifecycleTest, WithoutEndpointsActivationAddsOneOnTheDefaultPort) {
  StartRelay();
  EXPECT_EQ(relay_->BindingCount(), 1u);
  relay_->SetActive(false);
  relay_->SetActive(true);
  EXPECT_EQ(relay_->BindingCount(), 1u);
}

TEST_F(RelayLifecycleTest, StartStopStartOnTheSamePortAfterClientsWereConnected) {
  StartRelay();
  const std::uint16_t port = RelayPort();
  Pair closed_by_stop = Connect();
  Pair closed_by_server = Connect();
  closed_by_server.server.Close();
  EXPECT_TRUE(SeesClose(closed_by_server.client));
  relay_->SetActive(false);  // the relay closes first: its side lingers in TIME_WAIT
  EXPECT_TRUE(Refused(port));
  relay_.reset();

  relay_ = std::make_unique<TIdMappedPortTCP>();
  relay_->MappedHost = "127.0.0.1";
  relay_->MappedPort = backend_.LocalPort();
  relay_->DefaultPort = port;
  relay_->AddBinding();
  relay_->SetActive(true);
  Pair pair = Connect();
  SendText(pair.server, "again");
  EXPECT_EQ(ReceiveText(pair.client, 5), "again");
}

TEST_F(RelayLifecycleTest, DeactivationClosesConnectedClientsAndServers) {
  StartRelay();
  Pair first = Connect();
  Pair second = Connect();
  SendText(first.client, "busy");
  EXPECT_EQ(ReceiveText(first.server, 4), "busy");

  relay_->SetActive(false);

  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(Refused(RelayPort()));
  for (Pair* pair : {&first, &second}) {
    EXPECT_TRUE(SeesClose(pair->client));
    EXPECT_TRUE(SeesClose(pair->server));
  }
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 2);
}

TEST_F(RelayLifecycleTest, DeactivationWakesAWorkerBlockedWritingToAClientThatDoesNotRead) {
  StartRelay();
  Pair pair = Connect();
  // Flood the client, which reads nothing, until the relay stops taking data.
  std::vector<std::uint8_t> chunk(65536, 'z');
  std::size_t taken = 0;
  for (int idle = 0; idle < 20;) {
    const long n = SendNow(pair.server, chunk.data(), chunk.size());
    if (n > 0) {
      taken += static_cast<std::size_t>(n);
      idle = 0;
    } else {
      ++idle;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  EXPECT_LT(taken, 64u << 20) << "the relay buffers without bound";

  relay_->SetActive(false);
  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(SeesClose(pair.server));
}

TEST_F(RelayLifecycleTest, DeactivationEndsAWorkerStuckConnectingAtOnce) {
  BlackHoleServer backend;
  const int descriptors = OpenDescriptors();
  StartRelay("127.0.0.1", backend.Port());
  Socket client = ConnectTo(RelayPort());
  ASSERT_TRUE(Eventually([&] { return relay_->ConnectionCount() == 1; }));

  relay_->SetActive(false);  // no "Terminate Thread Timeout": the attempt is called off
  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(SeesClose(client));
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 1);
  relay_.reset();
  EXPECT_TRUE(WaitForRelayThreads(kPatience));
  client.Close();
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(RelayLifecycleTest, DeactivationDoesNotWaitForAHostNameLookup) {
  // Shared with the lookup's thread, which outlives the relay.
  auto lookup = std::make_shared<Gate>();
  relay_ = std::make_unique<TIdMappedPortTCP>();
  relay_->MappedHost = "game.example";
  relay_->MappedPort = backend_.LocalPort();
  relay_->Lookup = [lookup](const std::string&) -> std::uint32_t {
    lookup->Pass();
    return kLoopback;
  };
  relay_->SetActive(true);
  Socket client = ConnectTo(RelayPort());
  ASSERT_TRUE(Eventually([&] { return lookup->arrived == 1; }));

  relay_->SetActive(false);
  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(SeesClose(client));
  lookup->Open();  // the answer comes too late to be used
  EXPECT_TRUE(Eventually([&] { return lookup->passed == 1; }));
}

// A worker that truly does not end: its tap call hangs.
TEST_F(RelayLifecycleTest, WorkerThatDoesNotEndTimesDeactivationOutUntilItEnds) {
  Gate tap_call;
  tap_.on_send = [&](TMemoryStream&) { tap_call.Pass(); };
  StartRelay();
  relay_->TerminateWaitTime = 300;
  Pair pair = Connect();
  SendText(pair.server, "x");
  ASSERT_TRUE(Eventually([&] { return tap_call.arrived == 1; }));

  EXPECT_EQ(MessageOf([&] { relay_->SetActive(false); }), "Terminate Thread Timeout");
  EXPECT_TRUE(relay_->Active());
  EXPECT_TRUE(Refused(RelayPort())) << "the listener must be gone after a failed deactivation";

  tap_call.Open();
  relay_->SetActive(false);
  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(SeesClose(pair.client));
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 1);
}

TEST_F(RelayLifecycleTest, RelayDestroyedWhileATapCallHangsNeverCallsTheTapAfterwards) {
  Gate tap_call;
  tap_.on_send = [&](TMemoryStream&) { tap_call.Pass(); };
  StartRelay();
  relay_->TerminateWaitTime = 0;
  Pair pair = Connect();
  SendText(pair.server, "x");
  ASSERT_TRUE(Eventually([&] { return tap_call.arrived == 1; }));

  // The destruction times out inside and then waits for the tap call under way only.
  const std::uint16_t port = RelayPort();
  std::size_t calls_when_destroyed = 0;
  std::thread destroyer([&] {
    relay_.reset();
    calls_when_destroyed = tap_.Calls().size();
  });
  EXPECT_TRUE(Eventually([&] { return Refused(port); }));
  tap_call.Open();
  destroyer.join();
  EXPECT_TRUE(WaitForRelayThreads(kPatience));
  EXPECT_TRUE(SeesClose(pair.client));
  EXPECT_EQ(tap_.Calls().size(), calls_when_destroyed);
}

TEST_F(RelayLifecycleTest, ConnectCloseCyclesLeaveNoDescriptorOpen) {
  StartRelay();
  { Pair warm_up = Connect(); }
  ASSERT_TRUE(WorkersGone());
  const int descriptors = OpenDescriptors();
  for (int i = 0; i < 300; ++i) {
    Pair pair = Connect();
    if (i % 2 == 0) {
      pair.client.Close();
      EXPECT_TRUE(SeesClose(pair.server));
    } else {
      pair.server.Close();
      EXPECT_TRUE(SeesClose(pair.client));
    }
  }
  ASSERT_TRUE(WorkersGone());
  EXPECT_EQ(OpenDescriptors(), descriptors);
  relay_->SetActive(false);
  EXPECT_TRUE(WaitForRelayThreads(kPatience));
}

TEST_F(RelayLifecycleTest, RelaySocketsAreNotInheritedByChildProcesses) {
  StartRelay();
  Pair pair = Connect();
  SendText(pair.client, "x");
  EXPECT_EQ(ReceiveText(pair.server, 1), "x");
  // Every socket the relay holds: listener, accepted client socket, outbound socket.
  const std::vector<int> sockets = OpenSockets();
  for (int handle : sockets) EXPECT_FALSE(InheritedByChildProcesses(handle)) << handle;
  EXPECT_GE(sockets.size(), 6u);
}

}  // namespace
}  // namespace velmor::testing
