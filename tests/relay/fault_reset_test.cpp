#include <algorithm>
#include <cstring>
#include <iostream>

#include "tests/relay/fault_fixture.h"
#include "tests/relay/fault_traffic.h"

// Peers that break a connection hard, fall silent or end their side while the other still
// talks: the relay passes on an unaltered prefix (everything, when nobody resets), closes
// the other side and keeps serving.
namespace velmor::testing {
namespace {

void SendStream(Socket& socket, const Stream& stream) {
  std::uint64_t sent = 0;
  while (sent < stream.length) {
    std::size_t n = std::min<std::uint64_t>(stream.length - sent, Pattern::kWindow);
    sent += socket.Send(stream.At(sent), n);
  }
}

// Everything that arrives until the peer closes or resets; a stall raises after kPatience.
std::vector<std::uint8_t> ReceiveUntilClose(Socket& socket) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  try {
    while (std::size_t n = socket.Receive(buffer, sizeof buffer)) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
  } catch (const EIdSocketError& error) {
    if (error.LastError() != kWsaConnReset) throw;
  }
  return bytes;
}

bool IsPrefixOf(const std::vector<std::uint8_t>& bytes, const Stream& stream) {
  // std::equal, not memcmp: an empty vector may have no data pointer at all.
  return bytes.size() <= stream.length && std::equal(bytes.begin(), bytes.end(), stream.At(0));
}

// True when nothing arrives on `socket` for `ms` milliseconds, and it is not closed.
bool StaysQuiet(Socket& socket, int ms) {
  int handle = socket.Handle();
  bool readable = false;
  return WaitForReadable({&handle, 1}, {&readable, 1}, ms) == 0;
}

class FaultResetTest : public FaultTest {};

TEST_P(FaultResetTest, ServerResetMidBlockGivesClientAPrefixThenCloses) {
  StartRelay();
  for (std::uint64_t length : {100'000u, 1'000u, 32'768u + 7}) {
    Pair pair = Connect();
    const Stream down{length * 3, length};
    SendStream(pair.server, down);
    Abort(pair.server);

    std::vector<std::uint8_t> got = ReceiveUntilClose(pair.client);
    EXPECT_TRUE(IsPrefixOf(got, down)) << got.size() << " bytes, altered or too many";
    std::cout << "[ info ] " << got.size() << " of " << length << " bytes before the reset\n";
    EXPECT_TRUE(WorkersGone());
  }
  if (WithTap()) {
    EXPECT_EQ(tap_.disconnects.load(), 3);
  }
  ExpectRelayStillServes(Connect());
}

TEST_P(FaultResetTest, ClientResetMidBlockGivesServerAPrefixThenCloses) {
  StartRelay();
  Pair pair = Connect();
  const Stream up{11, 100'000};
  SendStream(pair.client, up);
  Abort(pair.client);

  std::vector<std::uint8_t> got = ReceiveUntilClose(pair.server);
  EXPECT_TRUE(IsPrefixOf(got, up)) << got.size() << " bytes, altered or too many";
  EXPECT_TRUE(WorkersGone());
  ExpectRelayStillServes(Connect());
}

TEST_P(FaultResetTest, ResetWhileBothDirectionsStreamLeavesPrefixesOnBothSides) {
  StartRelay();
  for (bool server_resets : {true, false}) {
    Pair pair = Connect();
    Peer client{std::move(pair.client), Stream{1, 8u << 20}, Stream{2, 8u << 20}};
    Peer server{std::move(pair.server), Stream{2, 8u << 20}, Stream{1, 8u << 20}};
    (server_resets ? server : client).abort_at = 1'234'567;
    ASSERT_TRUE(Drive(
        {&client, &server}, [&] { return client.closed && server.closed; },
        std::chrono::seconds(10)))
        << "a side never saw its connection close";

    Peer& survivor = server_resets ? client : server;
    Peer& resetter = server_resets ? server : client;
    EXPECT_TRUE(survivor.Intact())
        << "first altered byte at " << survivor.first_bad_byte.value_or(0);
    EXPECT_TRUE(resetter.Intact())
        << "first altered byte at " << resetter.first_bad_byte.value_or(0);
    EXPECT_LE(survivor.received, resetter.sent);
    EXPECT_TRUE(survivor.SawClose());
    EXPECT_TRUE(WorkersGone());
  }
  ExpectRelayStillServes(Connect());
}

TEST_P(FaultResetTest, SilentServerGetsTheBytesWhileTheClientWaitsAndStopEndsBoth) {
  StartRelay();
  Pair pair = Connect();
  SendText(pair.client, "hello?");
  EXPECT_EQ(ReceiveText(pair.server, 6), "hello?");
  EXPECT_TRUE(StaysQuiet(pair.client, 300)) << "the client got something the server never sent";
  EXPECT_EQ(relay_->ConnectionCount(), 1u);

  relay_->SetActive(false);  // "Terminate Thread Timeout" after 5 s would fail here
  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(SeesClose(pair.client));
  EXPECT_TRUE(SeesClose(pair.server));
  EXPECT_TRUE(WaitForRelayThreads(kPatience));
}

// The server's last blocks are still on their way to a slow client when the server ends
// its side, while the client is still talking: closing the client's connection must not
// throw them away.
TEST_P(FaultResetTest, ServerEndingWhileClientStillSendsDeliversItsLastBlocks) {
  StartRelay();
  for (int round = 0; round < 3; ++round) {
    Pair pair = Connect();
    const Stream down{3, 4u << 20};
    Peer client{std::move(pair.client), Stream{8, 1u << 30}, down};
    Peer server{std::move(pair.server), down, Stream{8, 1u << 30}};
    client.read_size = 4096;
    server.finish_when_sent = true;
    ASSERT_TRUE(Drive(
        {&client, &server}, [&] { return client.closed && server.closed; },
        std::chrono::seconds(10)));
    EXPECT_TRUE(client.Intact()) << "first altered byte at " << client.first_bad_byte.value_or(0);
    EXPECT_EQ(client.received, down.length) << "the server's last bytes were lost";
    EXPECT_TRUE(server.Intact()) << "first altered byte at " << server.first_bad_byte.value_or(0);
  }
}

// The same the other way round: a client that says its last words and hangs up while
// the server is still streaming to it.
TEST_P(FaultResetTest, ClientEndingWhileServerStillSendsDeliversItsLastBlocks) {
  StartRelay();
  for (int round = 0; round < 3; ++round) {
    Pair pair = Connect();
    const Stream up{5, 4u << 20};
    Peer client{std::move(pair.client), up, Stream{9, 1u << 30}};
    Peer server{std::move(pair.server), Stream{9, 1u << 30}, up};
    server.read_size = 4096;
    client.finish_when_sent = true;
    ASSERT_TRUE(Drive(
        {&client, &server}, [&] { return client.closed && server.closed; },
        std::chrono::seconds(10)));
    EXPECT_TRUE(server.Intact()) << "first altered byte at " << server.first_bad_byte.value_or(0);
    EXPECT_EQ(server.received, up.length) << "the client's last bytes were lost";
    EXPECT_TRUE(client.Intact()) << "first altered byte at " << client.first_bad_byte.value_or(0);
  }
}

INSTANTIATE_TEST_SUITE_P(Tap, FaultResetTest, ::testing::Bool(), TapName);

}  // namespace
}  // namespace velmor::testing
