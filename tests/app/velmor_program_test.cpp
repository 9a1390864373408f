// Starts the real program offscreen, relays one game connection through it, ends it with
// SIGTERM and checks what it leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/speech_packets.h"

extern char** environ;

namespace velmor::testing {
namespace {

using namespace std::chrono_literals;
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
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(folder_);
  }

  // `held_signal`: a signal the program starts with blocked, as a launcher may leave it.
  void Launch(int held_signal = 0) {
    std::vector<std::string> env_text = {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                                         "HOME=" + folder_.string(), "LANG=C"};
    // A sanitizer build's options (leak suppressions among them) apply to the program too.
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name))
        env_text.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> env;
    for (auto& entry : env_text) env.push_back(entry.data());
    env.push_back(nullptr);
    std::string program = VELMOR_EXECUTABLE;
    char* argv[] = {program.data(), nullptr};
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder_);  // the program works in the folder it starts in
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    if (held_signal != 0) {
      sigset_t held;
      sigemptyset(&held);
      sigaddset(&held, held_signal);
      ::posix_spawnattr_setsigmask(&attributes, &held);
      ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    const int spawned =
        ::posix_spawn(&pid_, program.c_str(), nullptr, &attributes, argv, env.data());
    ::posix_spawnattr_destroy(&attributes);
    std::filesystem::current_path(previous);
    ASSERT_EQ(spawned, 0);
  }

  // Sends SIGTERM and returns the exit status, or -1 when the program did not end.
  int Terminate() {
    ::kill(pid_, SIGTERM);
    return WaitForExit();
  }

  // The exit status, or -1 when the program does not end within 15 s.
  int WaitForExit() {
    for (int i = 0; i < 300; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(50ms);
    }
    return -1;
  }

  std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::filesystem::path folder_;
  pid_t pid_ = -1;
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

  std::vector<std::filesystem::path> logs;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    if (entry.path().extension() == ".rtf") logs.push_back(entry.path());
  }
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
  ::kill(pid_, SIGTERM);
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"),
            std::to_string(client_port) + "\r\n127.0.0.1\r\n2593\r\nStop\r\nShow\r\nAnim\r\n");
}

}  // namespace
}  // namespace velmor::testing
