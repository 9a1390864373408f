// Starts the real program offscreen, relays one game connection through it, ends it with
// SIGTERM and checks what it leaves behind.
#include <gtest/gtest.h>

#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/program_process.h"
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
  int Terminate() {
    program_.Signal(SIGTERM);
    return program_.WaitForExit();
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
