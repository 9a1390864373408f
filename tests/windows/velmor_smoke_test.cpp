// What only the Windows desktop shows of velmor.exe, beyond the program tests it shares with
// Linux: the window, the pane's lines, the sound bar and the tray icon, and the end through
// the tray menu's "&Beenden". Needs a display (wine's, on Xvfb).
#include <gtest/gtest.h>
// clang-format off
#include "platform/color.h"
#include "platform/text_codec.h"
#include <windows.h>
#include <shellapi.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/program_process.h"
#include "tests/support/speech_packets.h"
#include "tests/support/unicode_texts.h"

namespace velmor::testing {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr UINT kTrayMessage = WM_USER + 1001;
constexpr UINT kTrayIconId = 1005;

// The process's top-level window of the class (a visible one unless `hidden_too`), or null.
HWND WindowOf(DWORD process, const wchar_t* window_class, bool hidden_too = false) {
  struct Search {
    DWORD process;
    const wchar_t* window_class;
    bool hidden_too;
    HWND found;
  } search{process, window_class, hidden_too, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& search = *reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (owner == search.process && wcscmp(name, search.window_class) == 0 &&
            (search.hidden_too || IsWindowVisible(window))) {
          search.found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Asks the window itself: GetWindowText would read only the caption the system keeps for a
// window of another process.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

// The paths of the modules a process has loaded.
std::vector<std::wstring> ModulesOf(DWORD process_id) {
  std::vector<std::wstring> paths;
  const HANDLE process =
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id);
  if (process == nullptr) return paths;
  HMODULE modules[1024];
  DWORD bytes = 0;
  if (EnumProcessModules(process, modules, sizeof modules, &bytes)) {
    for (DWORD i = 0; i < std::min<DWORD>(bytes / sizeof(HMODULE), 1024); ++i) {
      wchar_t path[MAX_PATH] = {};
      if (GetModuleFileNameExW(process, modules[i], path, MAX_PATH)) paths.emplace_back(path);
    }
  }
  CloseHandle(process);
  return paths;
}

std::wstring Lowered(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// A WAV file of `seconds` of silence, 8 kHz, 8 bits, mono.
std::string SilentWav(int seconds) {
  const std::uint32_t samples = 8000u * static_cast<std::uint32_t>(seconds);
  std::string wav;
  const auto put = [&wav](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) wav += static_cast<char>(value >> (8 * i));
  };
  wav += "RIFF";
  put(36 + samples, 4);
  wav += "WAVEfmt ";
  put(16, 4);
  put(1, 2);     // PCM
  put(1, 2);     // mono
  put(8000, 4);  // samples per second
  put(8000, 4);  // bytes per second
  put(1, 2);     // block size
  put(8, 2);     // bits per sample
  wav += "data";
  put(samples, 4);
  wav.append(samples, static_cast<char>(0x80));
  return wav;
}

class VelmorExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("velmor_smoke_" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    program_.Kill();
    std::filesystem::remove_all(folder_);
  }

  std::filesystem::path folder_;
  Process program_;
};

TEST_F(VelmorExeTest, ShowsTheLinesTheSoundBarAndTheTrayIconAndEndsThroughTheTrayMenu) {
  Socket server = ListenLoopback();
  const std::uint16_t client_port = UnusedPort();
  const std::string settings = std::to_string(client_port) + "\r\n127.0.0.1\r\n" +
                               std::to_string(server.LocalPort()) + "\r\nStart\r\nShow\r\nAnim\r\n";
  std::ofstream(folder_ / "Velmor.ini", std::ios::binary) << settings;
  ASSERT_TRUE(program_.Start({ProgramPath("velmor.exe").string()}, {}, folder_));
  ASSERT_TRUE(WaitUntilListening(client_port, 60s)) << "velmor.exe never listened";

  // Compressed traffic with one speech line, a sound named as a shard script writes it and a
  // music file that is missing, byte for byte.
  std::filesystem::create_directories(folder_ / L"kl\u00E4nge");
  std::ofstream(folder_ / L"kl\u00E4nge" / L"t\u00FCr.wav", std::ios::binary) << SilentWav(6);
  Socket game = ConnectTo(client_port);
  Socket game_up = AcceptWithin(server);
  ASSERT_TRUE(game_up.IsOpen());
  const Bytes game_login = Concat({{0xCA, 0xFE, 0xBA, 0xBE}, FixedPacket(0x91, 65, 0x42)});
  SendAll(game, game_login);
  EXPECT_EQ(ReceiveBytes(game_up, game_login.size()), game_login);
  Bytes packets =
      Concat({FixedPacket(0x20, 19), AsciiSpeech("System", "~~Sound=Kl\xE4nge\\T\xDCR.WAV ."),
              AsciiSpeech("System", "~~Music=fehlt.mid"),
              AsciiSpeech("System", "~~Music=\\\\127.0.0.1\\x\\y.wav"),
              AsciiSpeech("Bob", "hallo Welt"), FixedPacket(0x73, 2)});
  for (const char* text : kUnicodeTexts) {
    const Bytes speech = UnicodeSpeech("Bj\xF6rn", Utf8ToUtf16(text));
    packets.insert(packets.end(), speech.begin(), speech.end());
  }
  const Bytes stream = Compress(packets);
  SendAll(game_up, stream);
  EXPECT_EQ(ReceiveBytes(game, stream.size()), stream);

  // The window is shown, and its log pane holds the line.
  const DWORD id = program_.Id();
  HWND window = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (window = WindowOf(id, L"VelmorMainWindow")) != nullptr; }, 10s));
  EXPECT_EQ(TextOf(window), L"Velmor V1.1.3");
  HWND pane = FindWindowExW(window, nullptr, L"VelmorLogPane", nullptr);
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(
      WaitUntil([&] { return TextOf(pane).find(L"[Bob] hallo Welt") != std::wstring::npos; }, 10s));
  EXPECT_NE(TextOf(pane).find(L"Fehler beim \u00F6ffnen der Musikdatei: \"fehlt.mid\""),
            std::wstring::npos);
  EXPECT_NE(TextOf(pane).find(L"Musikdatei: \"\\\\127.0.0.1\\x\\y.wav\""), std::wstring::npos)
      << "a network name is refused like a missing file";
  for (const char* text : kUnicodeTexts) {
    EXPECT_NE(TextOf(pane).find(L"[Bj\u00F6rn] " + Utf8ToWide(text)), std::wstring::npos) << text;
  }
  // The sound plays (in silence where wine has no output device): its control bar shows
  // while it plays and goes once it has ended and its player is released.
  HWND bar = FindWindowExW(window, nullptr, L"VelmorMediaBar", nullptr);
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(bar); }, 20s));
  // The tray icon: the shell knows where it is; wine's shell cannot say, but its own tray
  // window holds a window for each icon, and only this program has one.
  NOTIFYICONIDENTIFIER icon = {sizeof icon, window, kTrayIconId, {}};
  RECT place = {};
  EXPECT_TRUE(WaitUntil(
      [&] {
        if (SUCCEEDED(Shell_NotifyIconGetRect(&icon, &place))) return true;
        HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
        return tray && FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr);
      },
      5s))
      << "no tray icon";

  // A right-click on the icon opens the popup menu; an entry is chosen by its letter. After
  // a close the menu offers "&Anzeigen", which shows the window again.
  const auto choose = [&](wchar_t letter) {
    PostMessageW(window, kTrayMessage, kTrayIconId, WM_RBUTTONUP);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (menu = WindowOf(id, L"#32768")) != nullptr; }, 10s))
        << "the tray menu did not open";
    PostMessageW(menu, WM_CHAR, letter, 0);
  };
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 10s)) << "close did not hide";
  choose(L'a');
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10s))
      << "the menu did not offer to show the closed window";
  choose(L'b');

  EXPECT_EQ(program_.WaitForExit(30s), 0);
  game.Close();
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"), settings);
  const std::vector<std::filesystem::path> logs = LogFilesIn(folder_);
  ASSERT_EQ(logs.size(), 1u);
  const std::string rtf = ReadFile(logs[0]);
  EXPECT_NE(rtf.find("[Bob] hallo Welt"), std::string::npos);
  EXPECT_NE(rtf.find("End Logging"), std::string::npos);
}

// DLLs a player's Downloads folder may hold beside velmor.exe under the names of the system
// DLLs it loads at run time (winmm, iphlpapi): it loads them from the system folder.
TEST_F(VelmorExeTest, DllsPlantedBesideTheProgramAreNeverLoaded) {
  std::filesystem::copy_file(ProgramPath("velmor.exe"), folder_ / "velmor.exe");
  for (const char* name : {"winmm.dll", "iphlpapi.dll"}) {
    std::filesystem::copy_file(ProgramPath("velmor_planted_dll.dll"), folder_ / name);
  }
  std::ofstream(folder_ / "tuer.wav", std::ios::binary) << SilentWav(1);
  Socket server = ListenLoopback();
  const std::uint16_t client_port = UnusedPort();
  std::ofstream(folder_ / "Velmor.ini", std::ios::binary)
      << client_port << "\r\n127.0.0.1\r\n"
      << server.LocalPort() << "\r\nStart\r\nHide\r\nAnim\r\n";
  ASSERT_TRUE(program_.Start({(folder_ / "velmor.exe").string()}, {}, folder_));
  ASSERT_TRUE(WaitUntilListening(client_port, 60s)) << "velmor.exe never listened";
  Socket game = ConnectTo(client_port);
  Socket game_up = AcceptWithin(server);
  ASSERT_TRUE(game_up.IsOpen());
  SendAll(game, Bytes{0xCA, 0xFE, 0xBA, 0xBE});
  EXPECT_EQ(ReceiveBytes(game_up, 4).size(), 4u);
  const Bytes stream = Compress(
      Concat({AsciiSpeech("System", "~~Sound=tuer.wav"), AsciiSpeech("Bob", "nach dem Klang")}));
  SendAll(game_up, stream);
  EXPECT_EQ(ReceiveBytes(game, stream.size()), stream);
  const auto live = folder_ / "Velmor_Logfile_laufend.rtf";
  EXPECT_TRUE(
      WaitUntil([&] { return ReadFile(live).find("nach dem Klang") != std::string::npos; }, 20s));
  // The sound loaded winmm (iphlpapi comes only with a server address that may be this
  // machine's own): from the system folder (wine, which loads its own DLL in any case, still
  // takes the name from where it was found).
  wchar_t system_folder[MAX_PATH] = {};
  GetSystemDirectoryW(system_folder, MAX_PATH);
  std::vector<std::wstring> loaded;
  for (const std::wstring& path : ModulesOf(program_.Id())) {
    const std::filesystem::path module(path);
    const std::wstring name = Lowered(module.filename().wstring());
    if (name == L"winmm.dll" || name == L"iphlpapi.dll") {
      loaded.push_back(name);
      EXPECT_EQ(Lowered(module.parent_path().wstring()), Lowered(system_folder)) << module;
    }
  }
  EXPECT_NE(std::find(loaded.begin(), loaded.end(), L"winmm.dll"), loaded.end());
  EXPECT_TRUE(program_.AskToEnd());
  EXPECT_EQ(program_.WaitForExit(30s), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "planted_dll_loaded.txt"));
}

}  // namespace
}  // namespace velmor::testing
