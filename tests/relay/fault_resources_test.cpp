#include <iostream>

#include "tests/relay/fault_fixture.h"
#include "tests/relay/fault_traffic.h"

// Peers that stop reading and a process out of descriptors: the relay holds back instead
// of collecting data, loses nothing, and recovers.
namespace velmor::testing {
namespace {

// Sends without blocking until the connection has taken nothing for a while; returns how
// many bytes it took. Gives up after `cap` bytes (the relay then buffers without bound).
std::uint64_t PushUntilStalled(Socket& socket, const Stream& stream, std::uint64_t cap) {
  std::uint64_t taken = 0;
  for (int idle = 0; idle < 30 && taken < cap;) {
    std::size_t n = std::min<std::uint64_t>(Pattern::kWindow, cap - taken);
    const long count = SendNow(socket, stream.At(taken), n);
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

// The socket of this process at the other end of `socket` (the relay's socket).
std::optional<int> OtherEnd(const Socket& socket) {
  const std::optional<SocketEnds> ends = EndsOf(socket.Handle());
  if (!ends) return std::nullopt;
  for (int handle : OpenSockets()) {
    const std::optional<SocketEnds> theirs = EndsOf(handle);
    if (theirs && theirs->local == ends->peer && theirs->peer == ends->local) return handle;
  }
  return std::nullopt;
}

// Bytes that the kernel holds between a sender and a receiver that stopped reading: the
// sender's send queue, the receive and send queues of the relay's two sockets, and the
// receiver's receive queue. Whatever else the sender got rid of, the relay holds itself.
// Nothing where the system cannot tell the size of a send queue.
std::optional<std::uint64_t> KernelQueued(const Socket& sender, const Socket& receiver) {
  const std::optional<std::uint64_t> sending = SendQueueBytes(sender.Handle());
  if (!sending) return std::nullopt;
  const std::optional<int> relay_in = OtherEnd(sender);
  const std::optional<int> relay_out = OtherEnd(receiver);
  return *sending + (relay_in ? ReceiveQueueBytes(*relay_in).value_or(0) : 0) +
         (relay_out ? SendQueueBytes(*relay_out).value_or(0) : 0) +
         ReceiveQueueBytes(receiver.Handle()).value_or(0);
}

// Pushes from `sender` until the relay takes nothing more and checks that the relay holds
// at most the one block it is trying to write; returns how much was pushed.
std::uint64_t ExpectBackPressure(Socket& sender, Socket& receiver, const Stream& stream) {
  const std::uint64_t taken = PushUntilStalled(sender, stream, stream.length);
  EXPECT_LT(taken, stream.length) << "the relay buffers without bound";
  // Windows cannot tell the size of a send queue: there only the bound above is checked.
  if (const std::optional<std::uint64_t> queued = KernelQueued(sender, receiver)) {
    std::cout << "[ info ] " << taken << " bytes pushed, " << *queued << " in socket queues\n";
    EXPECT_LE(taken, *queued + TIdTCPConnection::RecvBufferSize)
        << "the relay holds more than a block";
  }
  return taken;
}

class FaultResourceTest : public FaultTest {};

TEST_P(FaultResourceTest, StopEndsAWorkerBlockedSendingToAServerThatNeverReads) {
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
TEST_P(FaultResourceTest, ClientThatStopsReadingHoldsTheServerBackAndLosesNothing) {
  StartRelay();
  Pair pair = Connect();
  const Stream down{77, 256u << 20};
  const std::uint64_t taken = ExpectBackPressure(pair.server, pair.client, down);

  Peer client{std::move(pair.client), Stream{}, Stream{down.start, taken}};
  ASSERT_TRUE(Drive(
      {&client}, [&] { return client.received >= taken; }, kPatience));
  EXPECT_TRUE(client.Intact()) << "first altered byte at " << client.first_bad_byte.value_or(0);
  EXPECT_EQ(client.received, taken);
}

TEST_P(FaultResourceTest, ServerThatStopsReadingHoldsTheClientBackAndLosesNothing) {
  StartRelay();
  Pair pair = Connect();
  const Stream up{99, 256u << 20};
  const std::uint64_t taken = ExpectBackPressure(pair.client, pair.server, up);

  Peer server{std::move(pair.server), Stream{}, Stream{up.start, taken}};
  ASSERT_TRUE(Drive(
      {&server}, [&] { return server.received >= taken; }, kPatience));
  EXPECT_TRUE(server.Intact()) << "first altered byte at " << server.first_bad_byte.value_or(0);
  EXPECT_EQ(server.received, taken);
}

// One descriptor left, taken by the client: the listener cannot accept. It must neither
// end nor spin, and must take the waiting client once descriptors are free again.
TEST_P(FaultResourceTest, ListenerOutOfDescriptorsWaitsAndServesTheClientLater) {
  if (!DescriptorShortage::kPossible) GTEST_SKIP() << kNoDescriptorLimit;
  if (kUnderSanitizer) GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own";
  StartRelay();
  Socket client;
  {
    DescriptorShortage shortage(1);
    client = ConnectTo(RelayPort());  // the kernel completes the handshake for the relay
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(relay_->ConnectionCount(), 0u);
    EXPECT_TRUE(relay_->Active());
  }
  Socket server = AcceptWithin(backend_);
  ASSERT_TRUE(server.IsOpen()) << "the listener gave up";
  ExpectRelayStillServes(RelayedPair{std::move(client), std::move(server)});
}

// Two left: the relay accepts, but its worker cannot open the server connection. The
// client is closed without a byte and the relay keeps serving.
TEST_P(FaultResourceTest, WorkerOutOfDescriptorsClosesItsClientAndTheRelayGoesOn) {
  if (!DescriptorShortage::kPossible) GTEST_SKIP() << kNoDescriptorLimit;
  if (kUnderSanitizer) GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own";
  StartRelay();
  {
    DescriptorShortage shortage(2);
    Socket client = ConnectTo(RelayPort());
    EXPECT_TRUE(SeesClose(client));
    EXPECT_TRUE(WorkersGone());
  }
  if (WithTap()) {
    EXPECT_EQ(tap_.disconnects.load(), 1);
    EXPECT_EQ(tap_.sent_bytes.load(), 0u);
  }
  ExpectRelayStillServes(Connect());
}

INSTANTIATE_TEST_SUITE_P(Tap, FaultResourceTest, ::testing::Bool(), TapName);

}  // namespace
}  // namespace velmor::testing
