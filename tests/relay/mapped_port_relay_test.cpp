#include <algorithm>
#include <cctype>
#include <future>
#include <random>
#include <set>
#include <stdexcept>

#include "tests/relay/relay_fixture.h"

namespace velmor::testing {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(count);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Sends `bytes` in blocks of random sizes, some above the relay's 32768-byte chunk.
void SendInRandomBlocks(Socket& socket, const std::vector<std::uint8_t>& bytes,
                        std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> size(1, 70000);
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    std::size_t n = std::min(size(random), bytes.size() - offset);
    SendAll(socket, std::vector<std::uint8_t>(bytes.begin() + offset, bytes.begin() + offset + n));
    offset += n;
  }
}

using RelayDataTest = RelayTest;

TEST_F(RelayDataTest, RelaysBothDirectionsByteExactInChunksOfAtMost32768) {
  StartRelay();
  Pair pair = Connect();
  const auto up = RandomBytes(1'500'000, 1);
  const auto down = RandomBytes(1'700'000, 2);

  auto send_up = std::async(std::launch::async, [&] { SendInRandomBlocks(pair.client, up, 3); });
  auto send_down =
      std::async(std::launch::async, [&] { SendInRandomBlocks(pair.server, down, 4); });
  auto received_down =
      std::async(std::launch::async, [&] { return ReceiveBytes(pair.client, down.size()); });
  std::vector<std::uint8_t> received_up = ReceiveBytes(pair.server, up.size());
  send_up.get();
  send_down.get();

  EXPECT_TRUE(received_up == up);
  EXPECT_TRUE(received_down.get() == down);
  std::size_t sent_through_tap = 0;
  std::size_t received_through_tap = 0;
  for (const auto& call : tap_.Calls()) {
    EXPECT_LE(call.size, TIdTCPConnection::RecvBufferSize);
    EXPECT_EQ(call.position, 0u);
    if (call.kind == RecordingTap::Kind::kSend) sent_through_tap += call.size;
    if (call.kind == RecordingTap::Kind::kReceive) received_through_tap += call.size;
  }
  EXPECT_EQ(sent_through_tap, down.size());
  EXPECT_EQ(received_through_tap, up.size());
}

TEST_F(RelayDataTest, DataSentJustBeforeServerClosesStillReachesClient) {
  StartRelay();
  Pair pair = Connect();
  const auto down = RandomBytes(200'000, 5);
  SendAll(pair.server, down);
  pair.server.Close();

  EXPECT_TRUE(ReceiveBytes(pair.client, down.size()) == down);
  EXPECT_TRUE(SeesClose(pair.client));
  EXPECT_TRUE(WorkersGone());
}

TEST_F(RelayDataTest, ClientCloseClosesServerConnection) {
  StartRelay();
  Pair pair = Connect();
  SendText(pair.client, "bye");
  pair.client.Close();

  EXPECT_EQ(ReceiveText(pair.server, 3), "bye");
  EXPECT_TRUE(SeesClose(pair.server));
  EXPECT_TRUE(WorkersGone());
}

TEST_F(RelayDataTest, ServerDownClosesEachClientWithoutAByteAndKeepsListening) {
  StartRelay("127.0.0.1", UnusedPort());
  for (int i = 0; i < 2; ++i) {
    Socket client = ConnectTo(RelayPort());
    EXPECT_TRUE(ReceiveBytes(client, 1).empty());
    EXPECT_TRUE(SeesClose(client));
  }
  EXPECT_TRUE(WorkersGone());
  EXPECT_TRUE(relay_->Active());
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 2);
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kSend), 0);
}

TEST_F(RelayDataTest, TwoClientsEachGetTheirOwnServerConnectionAndShareTheTap) {
  StartRelay();
  Pair first = Connect();
  Pair second = Connect();
  SendText(first.client, "first up");
  SendText(second.client, "second up");
  SendText(first.server, "first down");
  SendText(second.server, "second down");

  EXPECT_EQ(ReceiveText(first.server, 8), "first up");
  EXPECT_EQ(ReceiveText(second.server, 9), "second up");
  EXPECT_EQ(ReceiveText(first.client, 10), "first down");
  EXPECT_EQ(ReceiveText(second.client, 11), "second down");

  std::set<const TIdTCPConnection*> connections;
  std::set<std::thread::id> threads;
  for (const auto& call : tap_.Calls()) {
    if (call.kind != RecordingTap::Kind::kSend) continue;
    connections.insert(call.connection);
    threads.insert(call.thread);
  }
  EXPECT_EQ(connections.size(), 2u);
  EXPECT_EQ(threads.size(), 2u);
}

TEST_F(RelayDataTest, ClientReceivesWhatTheTapMadeOfTheBlock) {
  tap_.on_send = [](TMemoryStream& block) {
    if (block.data.front() == 'L') block.data.insert(block.data.end(), {'-', 'l', 'o', 'n', 'g'});
    if (block.data.front() == 'S') block.data.erase(block.data.begin(), block.data.begin() + 3);
  };
  StartRelay();
  Pair pair = Connect();

  SendText(pair.server, "Lx");
  EXPECT_EQ(ReceiveText(pair.client, 7), "Lx-long");
  SendText(pair.server, "Shorter");
  EXPECT_EQ(ReceiveText(pair.client, 4), "rter");
}

TEST_F(RelayDataTest, ReceiveSideTapChangesReachTheServer) {
  tap_.on_receive = [](TMemoryStream& block) {
    for (auto& byte : block.data) byte = static_cast<std::uint8_t>(std::toupper(byte));
  };
  StartRelay();
  Pair pair = Connect();
  SendText(pair.client, "hello");
  EXPECT_EQ(ReceiveText(pair.server, 5), "HELLO");
}

TEST_F(RelayDataTest, DisconnectIsEachConnectionsLastCallOnItsWorkerThread) {
  StartRelay();
  // Three connections alive together (so no two share an address), ended three ways.
  Pair by_client = Connect();
  Pair by_server = Connect();
  Pair by_stop = Connect();
  for (Pair* pair : {&by_client, &by_server, &by_stop}) {
    SendText(pair->server, "x");
    EXPECT_EQ(ReceiveText(pair->client, 1), "x");
  }
  by_client.client.Close();
  by_server.server.Close();
  EXPECT_TRUE(SeesClose(by_server.client));
  EXPECT_TRUE(Eventually([&] { return relay_->ConnectionCount() == 1; }));
  relay_->SetActive(false);

  std::vector<RecordingTap::Call> calls = tap_.Calls();
  std::set<const TIdTCPConnection*> disconnected;
  for (const auto& call : calls) {
    EXPECT_NE(call.thread, std::this_thread::get_id());
    EXPECT_FALSE(disconnected.count(call.connection)) << "a call after Disconnect";
    if (call.kind == RecordingTap::Kind::kDisconnect) {
      disconnected.insert(call.connection);
      auto send = std::find_if(calls.begin(), calls.end(), [&](const auto& c) {
        return c.connection == call.connection && c.kind == RecordingTap::Kind::kSend;
      });
      ASSERT_NE(send, calls.end());
      EXPECT_EQ(send->thread, call.thread);
    }
  }
  EXPECT_EQ(disconnected.size(), 3u);
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 3);
}

TEST_F(RelayDataTest, TapErrorEndsThatConnectionOnly) {
  tap_.on_send = [](TMemoryStream& block) {
    if (block.data.front() == '!') throw std::runtime_error("tap failed");
  };
  StartRelay();
  Pair failing = Connect();
  Pair healthy = Connect();
  SendText(failing.server, "!");

  EXPECT_TRUE(SeesClose(failing.client));
  EXPECT_TRUE(SeesClose(failing.server));
  SendText(healthy.server, "ok");
  EXPECT_EQ(ReceiveText(healthy.client, 2), "ok");
  EXPECT_TRUE(Eventually([&] { return relay_->ConnectionCount() == 1; }));
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 1);
}

TEST_F(RelayDataTest, SocketErrorOnTwoConsecutiveCyclesEndsTheConnection) {
  // A tap may raise socket errors like the socket itself; 10060 is neither abort nor reset.
  tap_.on_receive = [](TMemoryStream&) { throw EIdSocketError(kWsaTimedOut); };
  StartRelay();
  Pair pair = Connect();
  auto receives = [&](int n) {
    return Eventually([&] { return tap_.Count(RecordingTap::Kind::kReceive) == n; });
  };

  SendText(pair.client, "a");  // error, dropped
  ASSERT_TRUE(receives(1));
  SendText(pair.server, "x");  // a clean cycle in between
  EXPECT_EQ(ReceiveText(pair.client, 1), "x");
  SendText(pair.client, "b");  // error after a clean cycle: dropped again
  ASSERT_TRUE(receives(2));
  SendText(pair.server, "y");
  EXPECT_EQ(ReceiveText(pair.client, 1), "y");
  EXPECT_EQ(relay_->ConnectionCount(), 1u);

  SendText(pair.client, "c");
  ASSERT_TRUE(receives(3));
  SendText(pair.client, "d");  // second error in a row: the connection ends
  EXPECT_TRUE(SeesClose(pair.client));
  EXPECT_TRUE(SeesClose(pair.server));
  EXPECT_TRUE(WorkersGone());
}

TEST_F(RelayDataTest, LocalhostInAnyCaseConnectsToLoopback) {
  for (const char* host : {"localhost", "LOCALHOST"}) {
    StartRelay(host, backend_.LocalPort());
    Pair pair = Connect();
    SendText(pair.client, host);
    EXPECT_EQ(ReceiveText(pair.server, 9), host);
    relay_->SetActive(false);
  }
}

TEST_F(RelayDataTest, NumberAbove255IsNoAddressSoTheLookupFailsAndClientIsClosed) {
  StartRelay("1.2.3.256", backend_.LocalPort());
  Socket client = ConnectTo(RelayPort());
  EXPECT_TRUE(SeesClose(client));
  EXPECT_TRUE(WorkersGone());
}

TEST_F(RelayDataTest, RelayToItsOwnListenerClosesTheClientWithoutConnectingAnywhere) {
  // However this machine is spelled, one client costs one accepted connection, not a chain
  // of connections to itself.
  int clients = 0;
  for (const char* host : {"127.0.0.1", "127.1", "0", "LocalHost"}) {
    const std::uint16_t port = UnusedPort();
    relay_ = std::make_unique<TIdMappedPortTCP>();
    relay_->MappedHost = host;
    relay_->MappedPort = port;
    relay_->DefaultPort = port;
    relay_->Intercept = &tap_;
    relay_->SetActive(true);
    Socket client = ConnectTo(port);
    EXPECT_TRUE(SeesClose(client)) << host;
    EXPECT_TRUE(WorkersGone()) << host;
    EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), ++clients) << host;
  }
}

TEST_F(RelayDataTest, AcceptsOnOtherLocalAddresses) {
  StartRelay();
  Socket client = ConnectTo(RelayPort(), 0x7F000002);  // 127.0.0.2
  Socket server = AcceptWithin(backend_);
  SendText(server, "hi");
  EXPECT_EQ(ReceiveText(client, 2), "hi");
}

}  // namespace
}  // namespace velmor::testing
