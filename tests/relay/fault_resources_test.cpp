#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

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

// Leaves exactly `free` descriptors for the whole process (the relay shares them) until
// destroyed: lowers the limit and fills every other free slot below it.
class DescriptorShortage {
 public:
  explicit DescriptorShortage(int free) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(OpenDescriptors() + 64);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    for (int fd; fillers_.size() < 4096 && (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
      fillers_.push_back(fd);
    }
    for (int i = 0; i < free && !fillers_.empty(); ++i) {
      ::close(fillers_.back());
      fillers_.pop_back();
    }
  }
  ~DescriptorShortage() {
    for (int fd : fillers_) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }

 private:
  rlimit saved_{};
  std::vector<int> fillers_;
};

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
