#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

#include <cstring>
#include <iostream>

#include "relay/fault_fixture.h"
#include "relay/fault_traffic.h"

// Peers that break a connection hard or stop taking part: the relay passes on an unaltered
// prefix, closes the other side, stays bounded and keeps serving.
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
  return bytes.size() <= stream.length &&
         std::memcmp(bytes.data(), stream.At(0), bytes.size()) == 0;
}

// True when nothing arrives on `socket` for `ms` milliseconds, and it is not closed.
bool StaysQuiet(Socket& socket, int ms) {
  int handle = socket.Handle();
  bool readable = false;
  return WaitForReadable({&handle, 1}, {&readable, 1}, ms) == 0;
}

// Sends without blocking until the connection has taken nothing for a while; returns how
// many bytes it took. Gives up after `cap` bytes (the relay then buffers without bound).
std::uint64_t PushUntilStalled(Socket& socket, const Stream& stream, std::uint64_t cap) {
  std::uint64_t taken = 0;
  for (int idle = 0; idle < 30 && taken < cap;) {
    std::size_t n = std::min<std::uint64_t>(Pattern::kWindow, cap - taken);
    ssize_t count = ::send(socket.Handle(), stream.At(taken), n, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (count > 0) {
      taken += static_cast<std::uint64_t>(count);
      idle = 0;
    } else {
      ++idle;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return taken;
}

bool SameAddress(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// The descriptor of this process at the other end of `socket` (the relay's socket).
int OtherEnd(const Socket& socket) {
  sockaddr_in local{};
  sockaddr_in peer{};
  socklen_t length = sizeof local;
  ::getsockname(socket.Handle(), reinterpret_cast<sockaddr*>(&local), &length);
  length = sizeof peer;
  ::getpeername(socket.Handle(), reinterpret_cast<sockaddr*>(&peer), &length);
  for (int fd = 3; fd < 4096; ++fd) {
    sockaddr_in their_local{};
    sockaddr_in their_peer{};
    length = sizeof their_local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&their_local), &length) != 0) continue;
    length = sizeof their_peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&their_peer), &length) != 0) continue;
    if (SameAddress(their_local, peer) && SameAddress(their_peer, local)) return fd;
  }
  return -1;
}

std::uint64_t Queued(int fd, unsigned long request) {
  int bytes = 0;
  return fd >= 0 && ::ioctl(fd, request, &bytes) == 0 ? static_cast<std::uint64_t>(bytes) : 0;
}

// Bytes that the kernel holds between a sender and a receiver that stopped reading: the
// sender's send queue, the receive and send queues of the relay's two sockets, and the
// receiver's receive queue. Whatever else the sender got rid of, the relay holds itself.
std::uint64_t KernelQueued(const Socket& sender, const Socket& receiver) {
  return Queued(sender.Handle(), SIOCOUTQ) + Queued(OtherEnd(sender), SIOCINQ) +
         Queued(OtherEnd(receiver), SIOCOUTQ) + Queued(receiver.Handle(), SIOCINQ);
}

// Pushes from `sender` until the relay takes nothing more and checks that the relay holds
// at most the one block it is trying to write; returns how much was pushed.
std::uint64_t ExpectBackPressure(Socket& sender, Socket& receiver, const Stream& stream) {
  const std::uint64_t taken = PushUntilStalled(sender, stream, stream.length);
  const std::uint64_t queued = KernelQueued(sender, receiver);
  std::cout << "[ info ] " << taken << " bytes pushed, " << queued << " in socket queues\n";
  EXPECT_LT(taken, stream.length) << "the relay buffers without bound";
  EXPECT_LE(taken, queued + TIdTCPConnection::RecvBufferSize)
      << "the relay holds more than a block";
  return taken;
}

void ExpectRelayStillServes(RelayedPair pair) {
  SendText(pair.client, "up");
  SendText(pair.server, "down");
  EXPECT_EQ(ReceiveText(pair.server, 2), "up");
  EXPECT_EQ(ReceiveText(pair.client, 4), "down");
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
    EXPECT_TRUE(survivor.Intact()) << "first altered byte at " << *survivor.first_bad_byte;
    EXPECT_TRUE(resetter.Intact()) << "first altered byte at " << *resetter.first_bad_byte;
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

TEST_P(FaultResetTest, StopEndsAWorkerBlockedSendingToAServerThatNeverReads) {
  StartRelay();
  Pair pair = Connect();
  ExpectBackPressure(pair.client, pair.server, Stream{5, 256u << 20});

  relay_->SetActive(false);
  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(SeesClose(pair.server));
  EXPECT_TRUE(WaitForRelayThreads(kPatience));
}

// The relay must hold back what a non-reading client cannot take, not collect it, and
// lose nothing of it once the client reads again.
TEST_P(FaultResetTest, ClientThatStopsReadingHoldsTheServerBackAndLosesNothing) {
  StartRelay();
  Pair pair = Connect();
  const Stream down{77, 256u << 20};
  const std::uint64_t taken = ExpectBackPressure(pair.server, pair.client, down);

  Peer client{std::move(pair.client), Stream{}, Stream{down.start, taken}};
  ASSERT_TRUE(Drive(
      {&client}, [&] { return client.received >= taken; }, kPatience));
  EXPECT_TRUE(client.Intact()) << "first altered byte at " << *client.first_bad_byte;
  EXPECT_EQ(client.received, taken);
}

TEST_P(FaultResetTest, ServerThatStopsReadingHoldsTheClientBackAndLosesNothing) {
  StartRelay();
  Pair pair = Connect();
  const Stream up{99, 256u << 20};
  const std::uint64_t taken = ExpectBackPressure(pair.client, pair.server, up);

  Peer server{std::move(pair.server), Stream{}, Stream{up.start, taken}};
  ASSERT_TRUE(Drive(
      {&server}, [&] { return server.received >= taken; }, kPatience));
  EXPECT_TRUE(server.Intact()) << "first altered byte at " << *server.first_bad_byte;
  EXPECT_EQ(server.received, taken);
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
    EXPECT_TRUE(client.Intact()) << "first altered byte at " << *client.first_bad_byte;
    EXPECT_EQ(client.received, down.length) << "the server's last bytes were lost";
    EXPECT_TRUE(server.Intact()) << "first altered byte at " << *server.first_bad_byte;
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
    EXPECT_TRUE(server.Intact()) << "first altered byte at " << *server.first_bad_byte;
    EXPECT_EQ(server.received, up.length) << "the client's last bytes were lost";
    EXPECT_TRUE(client.Intact()) << "first altered byte at " << *client.first_bad_byte;
  }
}

INSTANTIATE_TEST_SUITE_P(Tap, FaultResetTest, ::testing::Bool(), TapName);

}  // namespace
}  // namespace velmor::testing
