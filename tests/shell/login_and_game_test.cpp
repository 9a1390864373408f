// A game client logs in through the window's relay: the login server's answers come plain,
// the redirect is rewritten to the relay, and the game connection's compressed stream,
// many of whose blocks start with the bytes of a plain login packet, is relayed byte for
// byte while its speech reaches the log in order.
#include <random>

#include "relay/mapped_port.h"
#include "tests/shell/main_form_fixture.h"
#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/speech_packets.h"

namespace velmor::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Three servers: 126 bytes.
Bytes ServerList() {
  Bytes list = {0xA8, 0, 126, 0x5D, 0, 3};
  for (const std::string name : {"Testwelt", "Zweitwelt", "Drittwelt"}) {
    Bytes entry(40, 0);
    std::copy(name.begin(), name.end(), entry.begin() + 2);
    list.insert(list.end(), entry.begin(), entry.end());
  }
  return list;
}

// Sends `bytes` from `from` cut at `cuts`, each part only after `to` has received the one
// before, so that the relay reads each part on its own; returns what `to` received.
Bytes SendInParts(Socket& from, Socket& to, const Bytes& bytes, std::vector<std::size_t> cuts) {
  cuts.push_back(bytes.size());
  Bytes received;
  for (std::size_t start = 0; std::size_t end : cuts) {
    SendAll(from, Slice(bytes, start, end));
    const Bytes part = ReceiveBytes(to, end - start);
    received.insert(received.end(), part.begin(), part.end());
    start = end;
  }
  return received;
}

// The server compresses each packet as a stretch of its own; the stream reaches the relay
// in reads that may start anywhere in it.
Bytes GameStream(std::mt19937& random, std::vector<std::string>& expected_lines) {
  Bytes stream;
  for (int i = 0; i < 200; ++i) {
    Bytes packet = FixedPacket(0x20, 19, 0);
    for (std::size_t j = 1; j < packet.size(); ++j) packet[j] = static_cast<std::uint8_t>(random());
    Bytes stretch = Compress(packet);
    stream.insert(stream.end(), stretch.begin(), stretch.end());
    if (i % 4 == 0) {
      const std::string text = "Zeile " + std::to_string(i);
      expected_lines.push_back("[Spieler] " + text);
      stretch = Compress(AsciiSpeech("Spieler", text));
      stream.insert(stream.end(), stretch.begin(), stretch.end());
    }
  }
  return stream;
}

class LoginAndGameTest : public MainFormTest {};

TEST_F(LoginAndGameTest, LoginIsRewrittenAndTheGameStreamPassesUnchanged) {
  Socket server = ListenLoopback();
  TMainForm& form = Create();
  // The system picks the client port; the redirect must name the port it picked.
  form.UOClientPort.SetText("0");
  form.UOServerPort.SetText(std::to_string(server.LocalPort()));
  form.StartButton.Click();
  ASSERT_TRUE(form.Running()) << (dialogs_.boxes.empty() ? "" : dialogs_.boxes[0].text);
  const int client_port = form.RelayServer()->BoundPort(0);

  // Login stage: plain server list, then a redirect to somewhere else, each cut in two
  // (the address bytes of the redirect fall into both of its parts).
  {
    Socket client = ConnectTo(static_cast<std::uint16_t>(client_port));
    Socket login = AcceptWithin(server);
    SendAll(client, {0xEF, 0x80});
    EXPECT_EQ(ReceiveBytes(login, 2), (Bytes{0xEF, 0x80}));
    EXPECT_EQ(SendInParts(login, client, ServerList(), {60}), ServerList());
    SendAll(client, {0xA0, 0, 0});
    EXPECT_EQ(ReceiveBytes(login, 3), (Bytes{0xA0, 0, 0}));
    const Bytes redirect = {0x8C, 10, 1, 2, 3, 0x13, 0x88, 0xDE, 0xAD, 0xBE, 0xEF};
    const Bytes rewritten = {0x8C,
                             127,
                             0,
                             0,
                             1,
                             static_cast<std::uint8_t>(client_port >> 8),
                             static_cast<std::uint8_t>(client_port),
                             0xDE,
                             0xAD,
                             0xBE,
                             0xEF};
    EXPECT_EQ(SendInParts(login, client, redirect, {3}), rewritten);
  }

  // Game stage: the client comes back through the relay to the same configured server.
  Socket client = ConnectTo(static_cast<std::uint16_t>(client_port));
  Socket game = AcceptWithin(server);
  SendAll(client, {0x91, 1, 2, 3, 4});
  EXPECT_EQ(ReceiveBytes(game, 5), (Bytes{0x91, 1, 2, 3, 4}));

  std::mt19937 random(20261208);
  std::vector<std::string> expected;
  const Bytes stream = GameStream(random, expected);
  // Reads cut just before every byte that a plain login packet starts with.
  std::vector<std::size_t> cuts = {0};
  for (std::size_t i = 1; i < stream.size(); ++i) {
    if (stream[i] == 0x8C || stream[i] == 0xA8) cuts.push_back(i);
  }
  cuts.push_back(stream.size());
  ASSERT_GT(cuts.size(), 20u);
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    const Bytes block(stream.begin() + cuts[i], stream.begin() + cuts[i + 1]);
    // One block at a time, each read whole by the client before the next is sent.
    SendAll(game, block);
    ASSERT_EQ(ReceiveBytes(client, block.size()), block) << "block " << i;
  }

  form.StopButton.Click();
  dispatcher_.Drain();
  std::vector<std::string> logged;
  for (int i = 1; i < form.LogTalking.LineCount(); ++i) {
    const std::string_view line = form.LogTalking.Line(i).text;
    logged.emplace_back(line.substr(line.find(" [") + 1));
  }
  EXPECT_EQ(logged, expected);
}

}  // namespace
}  // namespace velmor::testing
