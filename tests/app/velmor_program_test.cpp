// The real program, as a player runs it: velmor on Linux (on the offscreen platform) and
// velmor.exe under wine (on a display of its own), from this one source. Each run relays
// through real sockets from a scripted server and is ended as the system ends programs:
// asked (SIGTERM; the end of the Windows session) or outright (SIGKILL; TerminateProcess).
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <random>

#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/program_process.h"
#include "tests/support/rtf_reader.h"
#include "tests/support/speech_packets.h"

namespace velmor::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Starting under wine takes seconds.
constexpr auto kStartLimit = 60s;

std::string Settings(int client_port, int server_port, const char* relay) {
  return std::to_string(client_port) + "\r\n127.0.0.1\r\n" + std::to_string(server_port) + "\r\n" +
         relay + "\r\nShow\r\nAnim\r\n";
}

class VelmorProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("velmor_program_" + std::to_string(std::random_device{}()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    program_.Kill();
    std::filesystem::remove_all(folder_);
  }

  void WriteSettings(const std::string& settings) {
    std::ofstream(folder_ / "Velmor.ini", std::ios::binary) << settings;
  }

  // `held_signal` (POSIX): a signal the program starts with blocked, as a launcher may leave
  // it; one sent meanwhile arrives while the program is still starting.
  // `folder_argument`: the folder the command line names, if any.
  void Launch(int held_signal = 0, const std::string& folder_argument = {}) {
    std::vector<std::string> argv = {ProgramPath(VELMOR_EXECUTABLE).string()};
    if (!folder_argument.empty()) argv.push_back(folder_argument);
    ASSERT_TRUE(
        program_.Start(argv,
                       {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                        "HOME=" + folder_.string(), "USERPROFILE=" + folder_.string(), "LANG=C"},
                       folder_, held_signal));
  }

  // Asks the program to end and returns its exit status, or -1 when it did not end.
  int AskToEnd(std::chrono::milliseconds limit = 30s) {
    EXPECT_TRUE(program_.AskToEnd(kStartLimit)) << "the program never showed a window";
    return program_.WaitForExit(limit);
  }

  std::filesystem::path folder_;
  Process program_;
};

// The login stage (its redirect rewritten to come back through the relay), then the game
// connection with a line of speech; asked to end, the program saves its settings and the
// log.
TEST_F(VelmorProgramTest, RelaysALoginAndAGameAndSavesEverythingWhenAskedToEnd) {
  Socket server = ListenLoopback();
  const int client_port = UnusedPort();
  const std::string settings = Settings(client_port, server.LocalPort(), "Start");
  WriteSettings(settings);
  Launch();
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), kStartLimit))
      << "the relay never listened";

  Socket login = ConnectTo(static_cast<std::uint16_t>(client_port));
  Socket login_up = AcceptWithin(server);
  ASSERT_TRUE(login_up.IsOpen());
  const Bytes seed_and_login = Concat({{0x7F, 0, 0, 1}, FixedPacket(0x80, 62, 0x41)});
  SendAll(login, seed_and_login);
  EXPECT_EQ(ReceiveBytes(login_up, seed_and_login.size()), seed_and_login);
  const Bytes server_list = Concat({{0xA8, 0, 46, 0x5D, 0, 1}, Bytes(40, 0x20)});
  SendAll(login_up, server_list);
  EXPECT_EQ(ReceiveBytes(login, server_list.size()), server_list);
  SendAll(login_up, {0x8C, 10, 0, 0, 9, 0x0A, 0x21, 0xCA, 0xFE, 0xBA, 0xBE});
  EXPECT_EQ(ReceiveBytes(login, 11),
            (Bytes{0x8C, 127, 0, 0, 1, static_cast<std::uint8_t>(client_port >> 8),
                   static_cast<std::uint8_t>(client_port), 0xCA, 0xFE, 0xBA, 0xBE}));
  login.Close();
  login_up.Close();

  Socket game = ConnectTo(static_cast<std::uint16_t>(client_port));
  Socket game_up = AcceptWithin(server);
  ASSERT_TRUE(game_up.IsOpen());
  const Bytes hello = Concat({{0xCA, 0xFE, 0xBA, 0xBE}, FixedPacket(0x91, 65, 0x42)});
  SendAll(game, hello);
  EXPECT_EQ(ReceiveBytes(game_up, hello.size()), hello);
  // Byte for byte; the tap has handed the line on before the client gets the block.
  const Bytes stream = Compress(
      Concat({FixedPacket(0x20, 19), AsciiSpeech("Bob", "hallo Welt"), FixedPacket(0x73, 2)}));
  SendAll(game_up, stream);
  EXPECT_EQ(ReceiveBytes(game, stream.size()), stream);

  EXPECT_EQ(AskToEnd(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"), settings);
  const auto logs = LogFilesIn(folder_);
  ASSERT_EQ(logs.size(), 1u);
  const RtfContent doc = ReadRtf(ReadFile(logs[0]));
  ASSERT_TRUE(doc.ok()) << doc.error;
  ASSERT_EQ(doc.paragraphs.size(), 3u);
  EXPECT_NE(doc.paragraphs[0].Text().find("--- Start Logging ---"), std::string::npos);
  EXPECT_NE(doc.paragraphs[1].Text().find("[Bob] hallo Welt"), std::string::npos);
  EXPECT_NE(doc.paragraphs[2].Text().find("--- End Logging ---"), std::string::npos);
}

// A run ended outright (the out-of-memory killer, "taskkill /F", a crash) has its lines on
// disk already; the next start turns them into a log file named by the newest line's time.
TEST_F(VelmorProgramTest, LinesOfAKilledRunBecomeALogFileAtTheNextStart) {
  Socket server = ListenLoopback();
  const int client_port = UnusedPort();
  WriteSettings(Settings(client_port, server.LocalPort(), "Start"));
  Launch();
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), kStartLimit));
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
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(live).find("Zeile 49") != std::string::npos; }, 30s))
      << "the live log file never held the lines";
  program_.KillNow();
  EXPECT_EQ(program_.WaitForExit(), Process::kKilledStatus);
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

  // The next run recovers it beside its start, and logs nothing of its own: its exit leaves
  // only the recovered log.
  Launch();
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), kStartLimit));
  ASSERT_TRUE(WaitUntil([&] { return !std::filesystem::exists(live); }, 30s))
      << "the live file was not recovered";
  EXPECT_EQ(AskToEnd(), 0);
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
TEST_F(VelmorProgramTest, EndWhileAClientWaitsForAServerThatDoesNotAnswerIsPrompt) {
  BlackHoleServer server;
  const int client_port = UnusedPort();
  WriteSettings(Settings(client_port, server.Port(), "Start"));
  Launch();
  ASSERT_TRUE(WaitUntilListening(static_cast<std::uint16_t>(client_port), kStartLimit))
      << "the relay never listened";
  Socket client = ConnectTo(static_cast<std::uint16_t>(client_port));
  std::this_thread::sleep_for(500ms);  // the worker is in its connect attempt by now

  // Generous for an exit that takes a fraction of a second, far below the 15 s of old.
  EXPECT_EQ(AskToEnd(5s), 0);
}

// An end asked for while the program is still starting runs the exit steps once the window
// is complete: never lost, never an end that saves nothing.
TEST_F(VelmorProgramTest, EndAskedForDuringStartUpRunsTheExitSteps) {
  const int client_port = UnusedPort();
  // Bare LF breaks: the exit steps rewrite the file with CR LF.
  WriteSettings(std::to_string(client_port) + "\n127.0.0.1\n2593\nStop\nShow\nAnim\n");
  Launch(SIGTERM);
  EXPECT_EQ(AskToEnd(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"), Settings(client_port, 2593, "Stop"));
}

// A failed automatic Start shows its error box, which runs a loop of its own until someone
// closes it; the end closes it, and the program ends saved, its relay stopped.
TEST_F(VelmorProgramTest, FailedStartReportsAndTheEndClosesItsBox) {
  WriteSettings("abc\r\n127.0.0.1\r\n2593\r\nStart\r\nShow\r\nAnim\r\n");
  Launch(SIGTERM);
  EXPECT_EQ(AskToEnd(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"),
            "abc\r\n127.0.0.1\r\n2593\r\nStop\r\nShow\r\nAnim\r\n");
}

// `velmor ~/FOLDER`, as the menu entry starts it: the program makes the folder in the home
// folder and keeps its files there, not where it was started.
TEST_F(VelmorProgramTest, StartedWithAFolderMakesItAndWorksThere) {
  Launch(SIGTERM, "~/Spiele/Velmor");
  EXPECT_EQ(AskToEnd(), 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(folder_ / "Spiele" / "Velmor" / "Velmor.ini"));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "Velmor.ini"));
}

}  // namespace
}  // namespace velmor::testing
