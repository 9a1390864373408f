// Starts the real program offscreen, relays one game connection through it, ends it with
// SIGTERM and checks what it leaves behind.
#include <gtest/gtest.h>

#include <ctime>

#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/program_process.h"
#include "tests/support/rtf_reader.h"
#include "tests/support/speech_packets.h"

namespace velmor::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class VelmorProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("velmor_program_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    program_.Kill();
    std::filesystem::remove_all(folder_);
  }

  // `held_signal`: a signal the program starts with blocked, as a launcher may leave it.
  void Launch(int held_signal = 0) {
    ASSERT_TRUE(program_.Start({VELMOR_EXECUTABLE},
                               {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                                "HOME=" + folder_.string(), "LANG=C"},
                               folder_, held_signal));
  }

  // Sends SIGTERM and returns the exit status, or -1 when the program did not end.
  int Terminate(std::chrono::milliseconds limit = 15s) {
    program_.Signal(SIGTERM);
    return program_.WaitForExit(limit);
  }

  std::filesystem::path folder_;
  Process program_;
};

TEST_F(VelmorProgramTest, RelaysAGameConnectionAndSavesEverythingOnSigterm) {
  Socket server = ListenLoopback();
  const int server_port = server.LocalPort();
  const int client_port = UnusedPort();
  const std::string settings = std::to_string(client_port) + "\r\n127.0.0.1\r\n" +
                               std::to_string(server_port) + "\r\nStart\r\nShow\r\nAnim\r\n";
  std::ofstream(folder_ / "Velmor.ini", std::ios::binary) << settings;
  Launch();

  // The relay listens once the window has started.
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), 10s))
      << "the relay never listened";
  Socket client = ConnectTo(static_cast<std::uint16_t>(client_port));
  Socket upstream = AcceptWithin(server);
  ASSERT_TRUE(upstream.IsOpen());

  // Client to server, unchanged.
  const Bytes hello = {0xEF, 1, 2, 3, 4, 0x91, 0, 0, 0};
  SendAll(client, hello);
  EXPECT_EQ(ReceiveBytes(upstream, hello.size()), hello);

  // Server to client: compressed game traffic with one speech line, byte for byte.
  const Bytes game = Compress(
      Concat({FixedPacket(0x20, 19), AsciiSpeech("Bob", "hallo Welt"), FixedPacket(0x73, 2)}));
  SendAll(upstream, game);
  EXPECT_EQ(ReceiveBytes(client, game.size()), game);

  // Give the line a moment to reach the window before the exit takes the log.
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Terminate(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"), settings);

  const auto logs = LogFilesIn(folder_);
  ASSERT_EQ(logs.size(), 1u);
  const std::string rtf = ReadFile(logs[0]);
  EXPECT_NE(rtf.find("[Bob] hallo Welt"), std::string::npos);
  EXPECT_NE(rtf.find("Start Logging"), std::string::npos);
  EXPECT_NE(rtf.find("End Logging"), std::string::npos);
}

// A run ended outright (SIGKILL, as the out-of-memory killer would end it) has its lines on
// disk already; the next start turns them into a log file named by the newest line's time.
TEST_F(VelmorProgramTest, LinesOfAKilledRunBecomeALogFileAtTheNextStart) {
  Socket server = ListenLoopback();
  const int client_port = UnusedPort();
  std::ofstream(folder_ / "Velmor.ini", std::ios::binary)
      << client_port << "\r\n127.0.0.1\r\n"
      << server.LocalPort() << "\r\nStart\r\nShow\r\nAnim\r\n";
  Launch();
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), 10s));
  const std::time_t first_line = std::time(nullptr);
  {
    Socket client = ConnectTo(static_cast<std::uint16_t>(client_port));
    Socket upstream = AcceptWithin(server);
    Bytes talk;
    for (int i = 0; i < 50; ++i) {
      const Bytes line = AsciiSpeech("Bob", "Zeile " + std::to_string(i));
      talk.insert(talk.end(), line.begin(), line.end());
    }
    SendAll(upstream, Compress(talk));
    ReceiveBytes(client, Compress(talk).size());
  }
  const std::filesystem::path live = folder_ / "Velmor_Logfile_laufend.rtf";
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(live).find("Zeile 49") != std::string::npos; }, 10s));
  program_.Signal(SIGKILL);
  EXPECT_EQ(program_.WaitForExit(), 128 + SIGKILL);
  const std::time_t killed = std::time(nullptr);

  const auto expect_the_lines = [](const std::string& rtf) {
    const RtfContent doc = ReadRtf(rtf);
    ASSERT_TRUE(doc.ok()) << doc.error;
    ASSERT_EQ(doc.paragraphs.size(), 51u);
    EXPECT_NE(doc.paragraphs[0].Text().find("--- Start Logging ---"), std::string::npos);
    for (int i = 0; i < 50; ++i) {
      EXPECT_NE(doc.paragraphs[i + 1].Text().find("[Bob] Zeile " + std::to_string(i)),
                std::string::npos);
    }
  };
  expect_the_lines(ReadFile(live));

  // The next run logs nothing of its own: its exit leaves only the recovered log.
  Launch();
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), 10s));
  EXPECT_EQ(Terminate(), 0);
  const auto logs = LogFilesIn(folder_);
  ASSERT_EQ(logs.size(), 1u);
  const auto name_at = [](std::time_t when) {
    char name[64];
    std::strftime(name, sizeof name, "Velmor_Logfile_%Y%m%d_%H%M.rtf", std::localtime(&when));
    return std::string(name);
  };
  const std::string name = logs[0].filename().string();
  EXPECT_TRUE(name == name_at(first_line) || name == name_at(killed)) << name;
  expect_the_lines(ReadFile(logs[0]));
}

// A server that swallows connection attempts (its accept queue is full) must not hold the
// exit: the relay's connect attempt for the waiting client is called off at once. Before,
// the exit waited 5 s for the deactivation and 10 s more for the worker.
TEST_F(VelmorProgramTest, SigtermWhileAClientWaitsForAServerThatDoesNotAnswerEndsAtOnce) {
  BlackHoleServer server;
  const int client_port = UnusedPort();
  std::ofstream(folder_ / "Velmor.ini", std::ios::binary)
      << client_port << "\r\n127.0.0.1\r\n"
      << server.Port() << "\r\nStart\r\nShow\r\nAnim\r\n";
  Launch();
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), 10s))
      << "the relay never listened";
  Socket client = ConnectTo(static_cast<std::uint16_t>(client_port));
  std::this_thread::sleep_for(200ms);  // the worker is in its connect attempt by now

  // Generous for an exit that takes a fraction of a second, far below the 15 s of old.
  EXPECT_EQ(Terminate(5s), 0);
}

// A termination signal that comes while the program is still starting (here held back from
// the very start) runs the exit steps once the program can take it: never lost, never the
// default action that would end the program without saving.
TEST_F(VelmorProgramTest, TerminationSignalDuringStartUpRunsTheExitSteps) {
  const int client_port = UnusedPort();
  // Bare LF breaks: the exit steps rewrite the file with CR LF.
  std::ofstream(folder_ / "Velmor.ini", std::ios::binary)
      << client_port << "\n127.0.0.1\n2593\nStop\nShow\nAnim\n";
  Launch(SIGTERM);
  EXPECT_EQ(Terminate(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"),
            std::to_string(client_port) + "\r\n127.0.0.1\r\n2593\r\nStop\r\nShow\r\nAnim\r\n");
}

// A message box of the start-up (the error of a failed automatic Start) runs a loop of its
// own until someone closes it; a termination signal closes it and ends the program saved.
TEST_F(VelmorProgramTest, TerminationSignalClosesAStartUpMessageBox) {
  std::ofstream(folder_ / "Velmor.ini", std::ios::binary)
      << "abc\r\n127.0.0.1\r\n2593\r\nStart\r\nShow\r\nAnim\r\n";
  Launch(SIGTERM);  // held from the start: it comes while the start-up still runs
  EXPECT_EQ(Terminate(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"),
            "abc\r\n127.0.0.1\r\n2593\r\nStop\r\nShow\r\nAnim\r\n");
}

}  // namespace
}  // namespace velmor::testing
