#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

#include "relay/connection.h"
#include "tests/relay/recording_tap.h"
#include "tests/support/loopback.h"

namespace velmor::testing {
namespace {

// A client-side connection with a tap, facing a plain peer socket.
class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Socket listener = ListenLoopback();
    peer_ = ConnectTo(listener.LocalPort());
    connection_ = std::make_unique<TIdTCPServerConnection>(AcceptWithin(listener));
    connection_->Intercept = std::make_shared<InterceptLink>(&tap_);
  }

  RecordingTap tap_;
  Socket peer_;
  std::unique_ptr<TIdTCPServerConnection> connection_;
};

TEST_F(ConnectionTest, ReadChunkTakesOneReceiveOfAtMost32768Bytes) {
  std::vector<std::uint8_t> burst(100'000, 7);
  SendAll(peer_, burst);
  std::size_t total = 0;
  while (total < burst.size()) {
    std::size_t n = connection_->ReadChunk().size();
    ASSERT_GT(n, 0u);
    EXPECT_LE(n, TIdTCPConnection::RecvBufferSize);
    total += n;
  }
  EXPECT_EQ(total, burst.size());
}

TEST_F(ConnectionTest, PeerCloseGivesEmptyChunkAndClosesOnce) {
  peer_.Close();
  EXPECT_TRUE(connection_->ReadChunk().empty());
  EXPECT_FALSE(connection_->Connected());
  EXPECT_TRUE(connection_->ReadChunk().empty());
  connection_->Close();
  connection_.reset();
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 1);
}

TEST_F(ConnectionTest, WriteToClosedConnectionRaisesClosedError) {
  connection_->Close();
  const std::vector<std::uint8_t> bytes{1};
  EXPECT_THROW(connection_->WriteChunk(bytes), EIdClosedSocket);
  EXPECT_NO_THROW(connection_->WriteChunk({}));
}

TEST_F(ConnectionTest, SendGetsAFreshCopyAndWhatItLeavesIsSent) {
  std::vector<std::uint8_t> original{'a', 'b', 'c'};
  tap_.on_send = [](TMemoryStream& block) {
    block.data[0] = 'X';
    block.data.push_back('!');
  };
  connection_->WriteChunk(original);
  EXPECT_EQ(ReceiveText(peer_, 4), "Xbc!");
  EXPECT_EQ(original[0], 'a');
}

TEST_F(ConnectionTest, TapErrorOnDisconnectStillClosesTheSocket) {
  struct ThrowingTap : RecordingTap {
    void Disconnect(TIdTCPConnection&) override { throw std::runtime_error("tap"); }
  } throwing;
  connection_->Intercept = std::make_shared<InterceptLink>(&throwing);
  EXPECT_THROW(connection_->Close(), std::runtime_error);
  EXPECT_FALSE(connection_->Connected());
  EXPECT_TRUE(SeesClose(peer_));
}

TEST_F(ConnectionTest, DetachedLinkNoLongerReachesTheTap) {
  connection_->Intercept->Detach();
  connection_->Close();
  EXPECT_EQ(tap_.Count(RecordingTap::Kind::kDisconnect), 0);
}

TEST_F(ConnectionTest, InterruptFromAnotherThreadWakesABlockedRead) {
  auto read = std::async(std::launch::async, [&] { return connection_->ReadChunk(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  connection_->Interrupt();
  ASSERT_EQ(read.wait_for(kPatience), std::future_status::ready);
  EXPECT_TRUE(read.get().empty());
  EXPECT_FALSE(connection_->Connected());
}

TEST(TIdTCPClientTest, RefusedConnectRaisesAndStaysClosed) {
  TIdTCPClient client("127.0.0.1", UnusedPort());
  try {
    client.Connect();
    FAIL() << "connected to a port nobody listens on";
  } catch (const EIdSocketError& error) {
    EXPECT_EQ(error.LastError(), kWsaConnRefused);
  }
  EXPECT_FALSE(client.Connected());
}

TEST(TIdTCPClientTest, UsesOnlyTheLow16BitsOfThePort) {
  Socket listener = ListenLoopback();
  TIdTCPClient client("127.0.0.1", 0x10000 + listener.LocalPort());
  client.Connect();
  EXPECT_TRUE(client.Connected());
  EXPECT_TRUE(AcceptWithin(listener).IsOpen());
}

}  // namespace
}  // namespace velmor::testing
