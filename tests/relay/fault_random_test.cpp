#include <cstdlib>
#include <iostream>

#include "tests/relay/fault_fixture.h"
#include "tests/relay/fault_traffic.h"

// A few hundred MiB through the relay in connections of random sizes, block sizes and
// endings (clean closes, resets in the middle of a block, a side that hangs up without
// reading), several at a time. Every byte that arrives is checked. The seed is printed;
// VELMOR_FAULT_SEED=<n> replays a run.
namespace velmor::testing {
namespace {

// kClean: both sides finish, then one closes. kServerFinishes / kClientFinishes: that side
// sends everything and ends its sending while the other still talks; every byte it sent
// must arrive. kServerHangsUp / kClientHangsUp: that side sends everything and closes
// without reading the rest, which may reset the connection.
enum class Ending {
  kClean,
  kServerResets,
  kClientResets,
  kServerFinishes,
  kClientFinishes,
  kServerHangsUp,
  kClientHangsUp,
  kCount
};

const char* NameOf(Ending ending) {
  switch (ending) {
    case Ending::kClean:
      return "clean";
    case Ending::kServerResets:
      return "server resets";
    case Ending::kClientResets:
      return "client resets";
    case Ending::kServerFinishes:
      return "server finishes";
    case Ending::kClientFinishes:
      return "client finishes";
    case Ending::kServerHangsUp:
      return "server hangs up";
    default:
      return "client hangs up";
  }
}

std::uint32_t Seed() {
  if (const char* text = std::getenv("VELMOR_FAULT_SEED")) {
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
  }
  return std::random_device{}();
}

// A connection under test: the two ends and how it is meant to end.
struct Connection {
  Ending ending;
  std::unique_ptr<Peer> client;
  std::unique_ptr<Peer> server;
};

class FaultRandomTest : public FaultTest {
 protected:
  std::uint64_t RandomLength() {
    int kind = std::uniform_int_distribution<int>(0, 9)(random_);
    std::uint64_t most = kind < 4 ? 64u << 10 : kind < 8 ? 1u << 20 : 8u << 20;
    return std::uniform_int_distribution<std::uint64_t>(0, most / kSanitizerSlowdown)(random_);
  }

  // Tiny writes only for short streams: they cost a system call each.
  std::uniform_int_distribution<std::size_t> RandomBlocks(std::uint64_t length) {
    int kind = std::uniform_int_distribution<int>(length <= (256u << 10) ? 0 : 1, 3)(random_);
    switch (kind) {
      case 0:
        return std::uniform_int_distribution<std::size_t>(1, 64);
      case 1:
        return std::uniform_int_distribution<std::size_t>(1, 1500);
      case 2:
        return std::uniform_int_distribution<std::size_t>(1, 100000);
      default:
        return std::uniform_int_distribution<std::size_t>(32768, Pattern::kWindow);
    }
  }

  Connection Open() {
    Pair pair = Connect();
    const Stream up{random_() % Pattern::kPeriod, RandomLength()};
    const Stream down{random_() % Pattern::kPeriod, RandomLength()};
    Connection connection{static_cast<Ending>(std::uniform_int_distribution<int>(
                              0, static_cast<int>(Ending::kCount) - 1)(random_)),
                          std::make_unique<Peer>(std::move(pair.client), up, down),
                          std::make_unique<Peer>(std::move(pair.server), down, up)};
    for (Peer* peer : {connection.client.get(), connection.server.get()}) {
      peer->random.seed(random_());
      peer->block_size = RandomBlocks(peer->out.length);
    }
    auto somewhere_in = [&](const Stream& stream) {
      return std::uniform_int_distribution<std::uint64_t>(0, stream.length)(random_);
    };
    switch (connection.ending) {
      case Ending::kClean:
        (random_() % 2 ? connection.client : connection.server)->close_when_complete = true;
        break;
      case Ending::kServerResets:
        connection.server->abort_at = somewhere_in(down);
        break;
      case Ending::kClientResets:
        connection.client->abort_at = somewhere_in(up);
        break;
      case Ending::kServerFinishes:
        connection.server->finish_when_sent = true;
        break;
      case Ending::kClientFinishes:
        connection.client->finish_when_sent = true;
        break;
      case Ending::kServerHangsUp:
        connection.server->close_when_sent = true;
        break;
      default:
        connection.client->close_when_sent = true;
        break;
    }
    return connection;
  }

  // What must hold for every connection once both ends have closed.
  void Verify(const Connection& connection) {
    const Peer& client = *connection.client;
    const Peer& server = *connection.server;
    SCOPED_TRACE(std::string(NameOf(connection.ending)) + ", " + std::to_string(client.sent) +
                 " bytes up, " + std::to_string(server.sent) + " down");
    EXPECT_TRUE(client.Intact()) << "first altered byte at " << client.first_bad_byte.value_or(0);
    EXPECT_TRUE(server.Intact()) << "first altered byte at " << server.first_bad_byte.value_or(0);
    EXPECT_LE(client.received, server.sent);
    EXPECT_LE(server.received, client.sent);
    switch (connection.ending) {
      case Ending::kClean:
        EXPECT_TRUE(client.Complete());
        EXPECT_TRUE(server.Complete());
        break;
      case Ending::kServerResets:
        EXPECT_TRUE(server.aborted) << "the client side closed first";
        EXPECT_TRUE(client.SawClose() || client.send_failed);
        break;
      case Ending::kClientResets:
        EXPECT_TRUE(client.aborted) << "the server side closed first";
        EXPECT_TRUE(server.SawClose() || server.send_failed);
        break;
      case Ending::kServerFinishes:
        EXPECT_EQ(client.received, server.out.length) << "the server's last bytes were lost";
        break;
      case Ending::kClientFinishes:
        EXPECT_EQ(server.received, client.out.length) << "the client's last bytes were lost";
        break;
      default:
        break;
    }
  }

  std::mt19937_64 random_;
};

TEST_P(FaultRandomTest, RandomBlocksAndEndingsLeaveEverySurvivingByteIntact) {
  const std::uint32_t seed = Seed();
  std::cout << "[ info ] seed " << seed << " (VELMOR_FAULT_SEED=" << seed << " replays it)\n";
  RecordProperty("seed", std::to_string(seed));
  random_.seed(seed);
  const std::uint64_t budget = (256u << 20) / kSanitizerSlowdown;
  StartRelay();

  std::uint64_t relayed = 0;
  int connections = 0;
  int rounds = 0;
  const int enough_connections = 160 / kSanitizerSlowdown;
  while ((relayed < budget || connections < enough_connections) && !HasFailure()) {
    std::vector<Connection> batch;
    int width = std::uniform_int_distribution<int>(1, 6)(random_);
    for (int i = 0; i < width; ++i) batch.push_back(Open());
    std::vector<Peer*> peers;
    for (const Connection& c : batch) {
      peers.push_back(c.client.get());
      peers.push_back(c.server.get());
    }
    bool ended = Drive(
        peers,
        [&] { return std::all_of(peers.begin(), peers.end(), [](Peer* p) { return p->closed; }); },
        std::chrono::seconds(20));
    if (!ended) {
      std::string stuck;
      for (const Connection& c : batch) {
        if (c.client->closed && c.server->closed) continue;
        stuck += std::string("\n  ") + NameOf(c.ending) + ": client " + Describe(*c.client) +
                 "; server " + Describe(*c.server);
      }
      FAIL() << "round " << rounds << " stood still for 20 s (seed " << seed << "):" << stuck;
    }
    for (const Connection& connection : batch) {
      Verify(connection);
      relayed += connection.client->received + connection.server->received;
    }
    connections += width;
    ++rounds;
  }
  EXPECT_TRUE(WorkersGone());
  std::cout << "[ info ] " << (relayed >> 20) << " MiB relayed in " << connections
            << " connections, " << rounds << " rounds\n";
  if (HasFailure()) std::cout << "[ info ] failed with seed " << seed << "\n";
  if (WithTap()) {
    EXPECT_EQ(tap_.disconnects.load(), connections);
  }
}

INSTANTIATE_TEST_SUITE_P(Tap, FaultRandomTest, ::testing::Bool(), TapName);

}  // namespace
}  // namespace velmor::testing
