#include "platform/socket.h"

#include <gtest/gtest.h>

#include <array>
#include <future>
#include <thread>

#include "tests/support/system.h"

namespace velmor {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

struct Pair {
  Socket listener = Socket::Open();
  Socket client;
  Socket accepted;
  Pair() {
    listener.Bind(kLoopback, 0);
    listener.Listen(4);
    client = Socket::Open();
    client.Connect(kLoopback, listener.LocalPort());
    accepted = listener.Accept();
  }
};

TEST(SocketTest, SocketsAreNotInheritedByChildProcesses) {
  Pair pair;
  for (const Socket* socket : {&pair.listener, &pair.client, &pair.accepted}) {
    EXPECT_FALSE(testing::InheritedByChildProcesses(socket->Handle()));
  }
}

TEST(SocketTest, ShutdownWakesAWaitInAnotherThread) {
  Pair pair;
  auto wait = std::async(std::launch::async, [&] {
    std::array<int, 1> handles{pair.accepted.Handle()};
    std::array<bool, 1> readable{};
    return WaitForReadable(handles, readable, -1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  pair.accepted.Shutdown(Socket::Direction::kBoth);
  ASSERT_EQ(wait.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(wait.get(), 1);
}

TEST(SocketTest, WaitReportsWhichSocketIsReadable) {
  Pair first;
  Pair second;
  const std::uint8_t byte = 1;
  second.client.Send(&byte, 1);
  std::array<int, 2> handles{first.accepted.Handle(), second.accepted.Handle()};
  std::array<bool, 2> readable{};
  EXPECT_EQ(WaitForReadable(handles, readable, 1000), 1);
  EXPECT_FALSE(readable[0]);
  EXPECT_TRUE(readable[1]);
  EXPECT_EQ(WaitForReadable({handles.data(), 1}, {readable.data(), 1}, 10), 0);
}

TEST(SocketTest, SendingToAClosedPeerRaisesInsteadOfSignalling) {
  Pair pair;
  pair.accepted.Close();
  std::vector<std::uint8_t> block(65536, 0);
  try {
    for (int i = 0; i < 100; ++i) pair.client.Send(block.data(), block.size());
    FAIL() << "send kept succeeding";
  } catch (const EIdSocketError& error) {
    EXPECT_TRUE(error.LastError() == kWsaShutdown || error.LastError() == kWsaConnReset)
        << error.LastError();
  }
}

// A port is never shared: this program's listeners are refused a port another socket holds
// with "in use" (on Windows also when they claim it exclusively, which the system refuses as
// "access denied"), and another program cannot bind one address of a port a listener of
// every address holds (on Windows only SO_EXCLUSIVEADDRUSE keeps it out).
TEST(SocketTest, BindingATakenPortRaises10048) {
  Pair pair;
  Socket every_address = Socket::Open();
  every_address.AllowPromptRebind();
  every_address.Bind(0, 0);
  every_address.Listen(1);
#ifdef _WIN32
  BOOL exclusive = FALSE;
  int size = sizeof exclusive;
  getsockopt(testing::Native(every_address.Handle()), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<char*>(&exclusive), &size);
  EXPECT_TRUE(exclusive);
#endif
  Socket other_program = Socket::Open();
  EXPECT_THROW(other_program.Bind(kLoopback, every_address.LocalPort()), EIdSocketError);

  for (const bool exclusive : {false, true}) {
    Socket second = Socket::Open();
    if (exclusive) second.AllowPromptRebind();
    try {
      second.Bind(exclusive ? 0 : kLoopback, pair.listener.LocalPort());
      ADD_FAILURE() << exclusive;
    } catch (const EIdSocketError& error) {
      EXPECT_EQ(error.LastError(), kWsaAddressInUse);
      EXPECT_STREQ(error.what(), "Socket Error # 10048\r\nAddress already in use.");
    }
  }
}

TEST(SocketTest, ReceiveReportsPeerCloseAsZero) {
  Pair pair;
  pair.client.Close();
  std::uint8_t buffer[8];
  EXPECT_EQ(pair.accepted.Receive(buffer, sizeof buffer), 0u);
}

}  // namespace
}  // namespace velmor
