#include <atomic>
#include <future>
#include <iostream>

#include "tests/relay/fault_fixture.h"
#include "tests/relay/fault_traffic.h"

// Many clients at once, many short connections, and Stop under full load: every byte
// arrives unaltered, and nothing (descriptor, thread, worker) is left behind.
namespace velmor::testing {
namespace {

class FaultLoadTest : public FaultTest {
 protected:
  // `count` relayed pairs, each end sending its own stream of about `bytes` bytes.
  std::vector<std::unique_ptr<Peer>> ConnectPeers(int count, std::uint64_t bytes) {
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < count; ++i) {
      Pair pair = Connect();
      if (!pair.server.IsOpen()) break;
      const Stream up{2u * i * 7919, bytes + 97u * i};
      const Stream down{(2u * i + 1) * 7919, bytes + 89u * i};
      peers.push_back(std::make_unique<Peer>(std::move(pair.client), up, down));
      peers.push_back(std::make_unique<Peer>(std::move(pair.server), down, up));
      peers.back()->random.seed(i);
    }
    return peers;
  }
};

std::vector<Peer*> Pointers(const std::vector<std::unique_ptr<Peer>>& peers) {
  std::vector<Peer*> result;
  for (const auto& peer : peers) result.push_back(peer.get());
  return result;
}

TEST_P(FaultLoadTest, TwoHundredClientsAtOnceEachGetTheirOwnBytesBothWays) {
  constexpr int kClients = 200;
  StartRelay();
  auto peers = ConnectPeers(kClients, (96u << 10) / kSanitizerSlowdown);
  ASSERT_EQ(peers.size(), 2u * kClients);
  EXPECT_EQ(relay_->ConnectionCount(), static_cast<std::size_t>(kClients));

  auto all_complete = [&] {
    return std::all_of(peers.begin(), peers.end(), [](const auto& p) { return p->Complete(); });
  };
  ASSERT_TRUE(Drive(Pointers(peers), all_complete, std::chrono::seconds(20)))
      << "some connection stalled";
  std::uint64_t up = 0;
  std::uint64_t down = 0;
  for (std::size_t i = 0; i < peers.size(); ++i) {
    const Peer& peer = *peers[i];
    EXPECT_TRUE(peer.Intact()) << "peer " << i << ": first altered byte at "
                               << peer.first_bad_byte.value_or(0);
    EXPECT_FALSE(peer.SawClose()) << "peer " << i;
    (i % 2 == 0 ? up : down) += peer.sent;
  }
  if (WithTap()) {
    EXPECT_EQ(tap_.received_bytes.load(), up);
    EXPECT_EQ(tap_.sent_bytes.load(), down);
  }

  for (std::size_t i = 0; i < peers.size(); i += 2) peers[i]->Close();
  EXPECT_TRUE(WorkersGone());
  if (WithTap()) {
    EXPECT_TRUE(Eventually([&] { return tap_.disconnects == kClients; }));
  }
}

// One short connection, ended in one of six ways.
void ConnectAndEnd(RelayedPair pair, int way) {
  switch (way) {
    case 0:  // the client says something and leaves
      SendText(pair.client, "x");
      EXPECT_EQ(ReceiveText(pair.server, 1), "x");
      pair.client.Close();
      EXPECT_TRUE(SeesClose(pair.server));
      break;
    case 1:  // the server says something and leaves
      SendText(pair.server, "y");
      EXPECT_EQ(ReceiveText(pair.client, 1), "y");
      pair.server.Close();
      EXPECT_TRUE(SeesClose(pair.client));
      break;
    case 2:  // the client resets
      SendText(pair.client, "zz");
      Abort(pair.client);
      EXPECT_TRUE(SeesClose(pair.server));
      break;
    case 3:  // the server resets in the middle of its block
      SendText(pair.server, std::string(5000, 'r'));
      Abort(pair.server);
      EXPECT_TRUE(SeesClose(pair.client));
      break;
    case 4:  // the client hangs up without a word
      pair.client.Close();
      EXPECT_TRUE(SeesClose(pair.server));
      break;
    default:  // the client resets without a word
      Abort(pair.client);
      EXPECT_TRUE(SeesClose(pair.server));
      break;
  }
}

TEST_P(FaultLoadTest, TwoThousandConnectCloseCyclesLeaveNothingBehind) {
  const int cycles = 2000 / kSanitizerSlowdown;
  const int descriptors = OpenDescriptors();
  const int threads = ProcessThreads();
  StartRelay();
  ConnectAndEnd(Connect(), 0);  // the first worker may set up what stays for the process
  ASSERT_TRUE(WorkersGone());
  const int active_descriptors = OpenDescriptors();
  const int active_threads = ProcessThreads();

  // Four lanes, so that one connection starts while others end. Connecting is done one
  // lane at a time: the backend's next connection then belongs to that lane's client.
  std::mutex connecting;
  std::atomic<int> next{0};
  auto lane = [&] {
    try {
      for (int i = next++; i < cycles && !HasFailure(); i = next++) {
        std::unique_lock lock(connecting);
        Pair pair = Connect();
        lock.unlock();
        ConnectAndEnd(std::move(pair), i % 6);
      }
    } catch (const std::exception& error) {  // a stalled socket gives up after kPatience
      ADD_FAILURE() << error.what();
    }
  };
  std::vector<std::thread> lanes;
  for (int i = 0; i < 4; ++i) lanes.emplace_back(lane);
  for (std::thread& thread : lanes) thread.join();

  EXPECT_TRUE(WorkersGone());
  EXPECT_TRUE(Eventually([&] { return LiveRelayThreads() == 1; })) << "only the listener";
  // Threads of earlier tests may still be on their way out: fewer is fine.
  EXPECT_TRUE(Eventually([&] { return ProcessThreads() <= active_threads; }))
      << ProcessThreads() << " threads, " << active_threads << " before";
  EXPECT_EQ(OpenDescriptors(), active_descriptors);
  if (WithTap()) {
    EXPECT_EQ(tap_.disconnects.load(), cycles + 1);
  }

  relay_->SetActive(false);
  EXPECT_TRUE(WaitForRelayThreads(kPatience));
  EXPECT_TRUE(Eventually([&] { return ProcessThreads() <= threads; }));
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_P(FaultLoadTest, StopWhileEveryClientStreamsBothWaysEndsEverythingAtOnce) {
  constexpr int kClients = 8;
  StartRelay();
  auto peers = ConnectPeers(kClients, 1u << 30);  // far more than flows before the Stop
  ASSERT_EQ(peers.size(), 2u * kClients);

  std::atomic<bool> flowing{false};
  auto traffic = std::async(std::launch::async, [&] {
    return Drive(
        Pointers(peers),
        [&] {
          bool all_closed = true;
          bool all_flowing = true;
          for (const auto& peer : peers) {
            all_closed = all_closed && peer->closed;
            all_flowing = all_flowing && peer->received > 0;
          }
          if (all_flowing) flowing = true;
          return all_closed;
        },
        std::chrono::seconds(15));
  });
  ASSERT_TRUE(Eventually([&] { return flowing.load(); })) << "not every direction got going";

  auto started = std::chrono::steady_clock::now();
  EXPECT_NO_THROW(relay_->SetActive(false));
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  std::cout << "[ info ] Stop took " << took.count() << " ms\n";
  EXPECT_FALSE(relay_->Active());
  EXPECT_TRUE(WaitForRelayThreads(kPatience));

  EXPECT_TRUE(traffic.get()) << "some end never saw its connection close";
  for (std::size_t i = 0; i < peers.size(); ++i) {
    EXPECT_TRUE(peers[i]->Intact())
        << "peer " << i << ": first altered byte at " << peers[i]->first_bad_byte.value_or(0);
    EXPECT_TRUE(peers[i]->SawClose() || peers[i]->send_failed) << "peer " << i;
  }
  if (WithTap()) {
    EXPECT_EQ(tap_.disconnects.load(), kClients);
  }
}

INSTANTIATE_TEST_SUITE_P(Tap, FaultLoadTest, ::testing::Bool(), TapName);

}  // namespace
}  // namespace velmor::testing
