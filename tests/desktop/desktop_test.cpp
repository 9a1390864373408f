// The real program on a real desktop under Xvfb, driven with xdotool as a user would: in an
// XEmbed notification area (trayer), and as a StatusNotifierItem in xfce4-panel's
// notification area on a private session bus. A test skips only where the desktop itself
// cannot start; scripts/install-deps installs everything it needs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdio>
#include <optional>
#include <regex>
#include <sstream>

#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/program_process.h"
#include "tests/support/speech_packets.h"

namespace velmor::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What a command prints on its standard output.
std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      text.append(buffer, n);
    ::pclose(pipe);
  }
  return text;
}

// The tools this test runs see the same desktop as the program.
void Export(const std::string& entry) {
  const auto at = entry.find('=');
  ::setenv(entry.substr(0, at).c_str(), entry.substr(at + 1).c_str(), 1);
}

bool Installed(const std::string& tool) {
  return !Output("command -v " + tool).empty();
}

struct Window {
  std::string id;
  int depth = 0;  // 0 for a top-level window
  int x = 0, y = 0, width = 0, height = 0;
};

// Every window named `name`, with its place on the screen.
std::vector<Window> WindowsNamed(const std::string& name) {
  static const std::regex line(
      R"re(^( +)(0x[0-9a-f]+) "([^"]*)".*\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+))re");
  std::vector<Window> windows;
  std::istringstream tree(Output("xwininfo -root -tree"));
  std::smatch m;
  for (std::string text; std::getline(tree, text);) {
    if (!std::regex_search(text, m, line) || m[3] != name) continue;
    windows.push_back({m[2], static_cast<int>(m[1].length() - 5) / 3, std::stoi(m[6]),
                       std::stoi(m[7]), std::stoi(m[4]), std::stoi(m[5])});
  }
  return windows;
}

bool Viewable(const std::string& id) {
  return Output("xwininfo -id " + id).find("IsViewable") != std::string::npos;
}

// A viewable top-level window of the program bigger than its helpers: a menu or a box.
std::optional<Window> Popup(const std::string& name = "Velmor") {
  for (const Window& w : WindowsNamed(name)) {
    if (w.depth == 0 && w.width > 50 && w.height > 50 && Viewable(w.id)) return w;
  }
  return std::nullopt;
}

// The RGB bytes of a screen area.
std::string Pixels(int x, int y, int width, int height) {
  return Output("import -silent -window root -crop " + std::to_string(width) + "x" +
                std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y) +
                " -depth 8 rgb:-");
}
std::string Pixels(const Window& w) {
  return Pixels(w.x, w.y, w.width, w.height);
}

// The stopped picture is the only one with the red cross.
bool ShowsRedCross(const std::string& rgb) {
  int red = 0;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    const auto r = static_cast<unsigned char>(rgb[i]), g = static_cast<unsigned char>(rgb[i + 1]),
               b = static_cast<unsigned char>(rgb[i + 2]);
    red += r > 180 && g < 90 && b < 90;
  }
  return red >= 4;
}

void Click(int x, int y, int button, int count = 1) {
  Output("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click --repeat " +
         std::to_string(count) + " --delay 60 " + std::to_string(button));
}
void Click(const Window& w, int button, int count = 1) {
  Click(w.x + w.width / 2, w.y + w.height / 2, button, count);
}

// Starts a helper that announces what it chose on a file descriptor, named by "{fd}" in
// its arguments (Xvfb's display, the bus address), and returns that, or "" when it failed.
std::string StartAnnouncing(Process& process, std::vector<std::string> argv,
                            const std::vector<std::string>& env) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return "";
  ::fcntl(fds[1], F_SETFD, 0);  // the helper writes here
  for (auto& arg : argv) {
    if (const auto at = arg.find("{fd}"); at != std::string::npos) {
      arg.replace(at, 4, std::to_string(fds[1]));
    }
  }
  const bool started = process.Start(argv, env);
  ::close(fds[1]);
  std::string text;
  char buffer[512];
  pollfd readable{fds[0], POLLIN, 0};
  while (started && ::poll(&readable, 1, 10000) == 1) {
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.back() == '\n') break;
  }
  ::close(fds[0]);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("velmor_desktop_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_ / "run");
    std::filesystem::permissions(folder_ / "run", std::filesystem::perms::owner_all);
    // Without the tools that drive and watch the desktop the test cannot run at all: that
    // is a fault of the set-up, not a desktop that cannot start.
    for (const char* tool : {"xdotool", "xwininfo", "import"}) {
      if (!Installed(tool)) GTEST_FAIL() << tool << " is missing: run scripts/install-deps";
    }
    const std::string display = StartAnnouncing(
        xvfb_, {"Xvfb", "-displayfd", "{fd}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
        {});
    if (display.empty())
      GTEST_SKIP() << "Xvfb cannot start here (scripts/install-deps installs it)";
    env_ = {"DISPLAY=:" + display, "HOME=" + folder_.string(),
            "XDG_RUNTIME_DIR=" + (folder_ / "run").string(), "NO_AT_BRIDGE=1"};
    for (const std::string& entry : env_) Export(entry);
  }

  void TearDown() override {
    program_.Kill();
    for (Process* helper : {&panel_, &xfconfd_, &tray_, &bus_, &xvfb_}) helper->Kill();
    std::filesystem::remove_all(folder_);
  }

  void WriteSettings(const std::string& text) {
    std::ofstream(folder_ / "Velmor.ini", std::ios::binary) << text;
  }

  void Launch() {
    std::vector<std::string> env = env_;
    env.insert(env.end(), {"QT_QPA_PLATFORM=xcb", "SDL_AUDIODRIVER=dummy", "LANG=C"});
    ASSERT_TRUE(program_.Start({VELMOR_EXECUTABLE}, env, folder_));
  }

  std::string MainWindow() {
    std::string id;
    WaitUntil(
        [&] {
          const auto found = WindowsNamed("Velmor V1.1.3");
          if (!found.empty()) id = found[0].id;
          return !id.empty();
        },
        20s);
    return id;
  }

  // Opens the icon's menu with a right click and returns it.
  std::optional<Window> OpenMenu(const Window& icon) {
    std::optional<Window> menu;
    // A click right after the last menu closed can still meet that menu's pointer grab.
    for (int attempt = 0; attempt < 5 && !menu; ++attempt) {
      Click(icon, 3);
      WaitUntil([&] { return (menu = Popup()).has_value(); }, 2s);
    }
    return menu;
  }

  // Opens the icon's menu and types keys into it.
  void Menu(const Window& icon, const std::string& keys) {
    ASSERT_TRUE(OpenMenu(icon)) << "no menu";
    Output("xdotool key --delay 60 " + keys);
    ASSERT_TRUE(WaitUntil([] { return !Popup().has_value(); }, 10s)) << "the menu stays open";
  }

  std::filesystem::path folder_;
  std::vector<std::string> env_;
  Process xvfb_, tray_, bus_, xfconfd_, panel_, program_;
};

// --- XEmbed: trayer --------------------------------------------------------------------------

class XEmbedTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // No session bus: Qt must not find a StatusNotifierItem host elsewhere.
    env_.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent");
    Export(env_.back());
    // Now and then trayer does not come up on a fresh display; it gets a second start.
    bool up = false;
    for (int attempt = 0; attempt < 2 && !up; ++attempt) {
      tray_.Kill();
      up = tray_.Start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                        "--height", "24"},
                       env_) &&
           WaitUntil([] { return !WindowsNamed("panel").empty(); }, 5s);
    }
    if (!up) {
      GTEST_SKIP() << "trayer cannot start here";
    }
  }

  // The icon embedded in the tray.
  // The icon embedded in the tray, once it has settled: the tray grows and moves as it
  // takes the icon in.
  Window Icon() {
    Window icon, last;
    EXPECT_TRUE(WaitUntil(
        [&] {
          last = icon;
          for (const Window& w : WindowsNamed("Velmor")) {
            if (w.depth > 0 && w.width > 8) icon = w;
          }
          return !icon.id.empty() && icon.x == last.x && icon.y == last.y &&
                 icon.x + icon.width <= 1024;
        },
        20s))
        << "the icon was never embedded";
    return icon;
  }
};

TEST_F(XEmbedTest, IconAnimatesDoubleClickTogglesAndTheMenuEntriesWork) {
  Socket server = ListenLoopback();
  const std::uint16_t client_port = UnusedPort();
  WriteSettings(std::to_string(client_port) + "\r\n127.0.0.1\r\n" +
                std::to_string(server.LocalPort()) + "\r\nStart\r\nShow\r\nAnim\r\n");
  Launch();
  const Window icon = Icon();
  ASSERT_FALSE(icon.id.empty());
  const std::string window = MainWindow();
  const std::string first = Pixels(icon);
  EXPECT_FALSE(ShowsRedCross(first));
  EXPECT_TRUE(WaitUntil([&] { return Pixels(icon) != first; }, 5s)) << "the icon stands still";

  // One logged line, so that the exit writes a log file.
  const std::string ini = ReadFile(folder_ / "Velmor.ini");
  ASSERT_TRUE(WaitUntilListening(client_port, 10s));
  Socket client = ConnectTo(client_port);
  Socket upstream = AcceptWithin(server);
  ASSERT_TRUE(upstream.IsOpen());
  const Bytes game = Compress(AsciiSpeech("Bob", "hallo Welt"));
  SendAll(upstream, game);
  EXPECT_EQ(ReceiveBytes(client, game.size()), game);

  // The menu follows the window however it was hidden or shown: after a double-click it
  // offers "&Anzeigen", after the menu's own "&Verbergen" the double-click shows again.
  Click(icon, 1, 2);
  EXPECT_TRUE(WaitUntil([&] { return !Viewable(window); }, 10s)) << "double-click did not hide";
  Menu(icon, "a");  // &Anzeigen
  EXPECT_TRUE(WaitUntil([&] { return Viewable(window); }, 10s)) << "the menu did not show it";
  Menu(icon, "v");  // &Verbergen
  EXPECT_TRUE(WaitUntil([&] { return !Viewable(window); }, 10s));
  Click(icon, 1, 2);
  EXPECT_TRUE(WaitUntil([&] { return Viewable(window); }, 10s)) << "double-click did not show";
  Menu(icon, "y");             // S&ymbolanimation off
  Menu(icon, "Up Up Return");  // &Stop, the last entry but one
  EXPECT_TRUE(WaitUntil([&] { return ShowsRedCross(Pixels(icon)); }, 10s));

  // &Beenden with the mouse: the menu's last entry.
  const std::optional<Window> menu = OpenMenu(icon);
  ASSERT_TRUE(menu);
  Click(menu->x + menu->width / 2, menu->y + menu->height - 10, 1);
  EXPECT_EQ(program_.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"),
            ini.substr(0, ini.find("Start")) + "Stop\r\nShow\r\nNoAnim\r\n");
  const auto logs = LogFilesIn(folder_);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(ReadFile(logs[0]).find("[Bob] hallo Welt"), std::string::npos);
}

TEST_F(XEmbedTest, StartedHiddenTheDoubleClickShowsAndTheAccessKeyEnds) {
  WriteSettings("0\r\n127.0.0.1\r\n1\r\nStart\r\nHide\r\nNoAnim\r\n");
  Launch();
  const Window icon = Icon();
  ASSERT_FALSE(icon.id.empty());
  const std::string window = MainWindow();
  EXPECT_TRUE(WaitUntil([&] { return !Viewable(window); }, 10s)) << "not hidden";
  Click(icon, 1, 2);
  EXPECT_TRUE(WaitUntil([&] { return Viewable(window); }, 10s));
  Menu(icon, "b");  // &Beenden
  EXPECT_EQ(program_.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"), "0\r\n127.0.0.1\r\n1\r\nStart\r\nShow\r\nNoAnim\r\n");
}

// A refused automatic Start leaves the stopped picture, and its error box does not hold a
// termination signal back.
TEST_F(XEmbedTest, FailedAutomaticStartShowsTheStoppedPictureAndSigtermClosesItsBox) {
  WriteSettings("abc\r\n127.0.0.1\r\n2593\r\nStart\r\nShow\r\nAnim\r\n");
  Launch();
  const Window icon = Icon();
  ASSERT_FALSE(icon.id.empty());
  ASSERT_TRUE(WaitUntil([] { return Popup().has_value(); }, 20s)) << "no error box";
  EXPECT_TRUE(WaitUntil([&] { return ShowsRedCross(Pixels(icon)); }, 5s));
  program_.Signal(SIGTERM);
  EXPECT_EQ(program_.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"),
            "abc\r\n127.0.0.1\r\n2593\r\nStop\r\nShow\r\nAnim\r\n");
}

// --- StatusNotifierItem: xfce4-panel's notification area ------------------------------------

class StatusNotifierTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!Installed("gdbus")) GTEST_FAIL() << "gdbus is missing: run scripts/install-deps";
    const std::string address = StartAnnouncing(
        bus_, {"dbus-daemon", "--session", "--nofork", "--print-address={fd}"}, env_);
    if (address.empty()) GTEST_SKIP() << "dbus-daemon cannot start here";
    env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
    env_.push_back("XDG_CONFIG_HOME=" + (folder_ / "config").string());
    for (std::size_t i = env_.size() - 2; i < env_.size(); ++i) Export(env_[i]);
    // One panel along the bottom edge with only the notification area.
    const auto channel = folder_ / "config/xfce4/xfconf/xfce-perchannel-xml";
    std::filesystem::create_directories(channel);
    std::ofstream(channel / "xfce4-panel.xml") << R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";
    std::string daemon = Output("ls /usr/lib/*/xfce4/xfconf/xfconfd");
    daemon = daemon.substr(0, daemon.find('\n'));
    if (daemon.empty() || !xfconfd_.Start({daemon}, env_) ||
        !panel_.Start({"xfce4-panel", "--disable-wm-check"}, env_)) {
      GTEST_SKIP() << "xfconfd or xfce4-panel cannot start here";
    }
    // Qt picks the tray protocol once, at start: the host must be there first.
    if (!WaitUntil([] { return Watcher("IsStatusNotifierHostRegistered") == "(<true>,)"; }, 60s)) {
      GTEST_SKIP() << "xfce4-panel's notification area never registered as a host";
    }
  }

  static std::string Watcher(const std::string& property) {
    std::string text = Output(
        "gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher -m "
        "org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher " +
        property);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
};

TEST_F(StatusNotifierTest, IconAnimatesClickTogglesAndThePanelShowsTheProgramsMenu) {
  WriteSettings("0\r\n127.0.0.1\r\n1\r\nStart\r\nShow\r\nAnim\r\n");
  Launch();
  const std::string window = MainWindow();
  ASSERT_FALSE(window.empty());
  std::smatch item;
  std::string items;
  ASSERT_TRUE(WaitUntil(
      [&] {
        items = Watcher("RegisteredStatusNotifierItems");
        return std::regex_search(items, item, std::regex(":[0-9.]+"));
      },
      20s))
      << "the item never registered";

  // The panel along the bottom edge; what changes there is the animated icon.
  const int top = 768 - 28;
  const std::string first = Pixels(0, top, 1024, 28);
  std::string later;
  ASSERT_TRUE(WaitUntil([&] { return (later = Pixels(0, top, 1024, 28)) != first; }, 10s))
      << "no animated icon on the panel";
  int left = 1024, right = -1;
  for (std::size_t i = 0; i < first.size(); ++i) {
    if (first[i] == later[i]) continue;
    const int x = static_cast<int>(i / 3 % 1024);
    left = std::min(left, x);
    right = std::max(right, x);
  }
  const Window icon{"", 0, left, top, right - left + 1, 28};

  Click(icon, 1);
  EXPECT_TRUE(WaitUntil([&] { return !Viewable(window); }, 10s)) << "a click did not hide";
  Click(icon, 1);
  EXPECT_TRUE(WaitUntil([&] { return Viewable(window); }, 10s)) << "a click did not show";

  // The exported menu: entries with access keys, the check mark, enabled states.
  const std::string layout = Output("gdbus call --session -d " + item.str() +
                                    " -o /MenuBar -m com.canonical.dbusmenu.GetLayout -- 0 -1 "
                                    "'@as []'");
  for (const char* entry :
       {"'label': <'_Verbergen'>", "'label': <'S_ymbolanimation'>, 'toggle-state': <1>",
        "'enabled': <false>, 'label': <'_Start'>", "'enabled': <true>, 'label': <'_Stop'>",
        "'enabled': <true>, 'label': <'_Beenden'>"}) {
    EXPECT_NE(layout.find(entry), std::string::npos) << entry << " not in " << layout;
  }

  // The panel's menu is the program's: its access key b ends the program.
  Click(icon, 3);
  // The panel draws the menu in its plugin process.
  ASSERT_TRUE(WaitUntil([] { return Popup("wrapper-2.0").has_value(); }, 10s)) << "no menu";
  Output("xdotool key b");
  EXPECT_EQ(program_.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(folder_ / "Velmor.ini"), "0\r\n127.0.0.1\r\n1\r\nStart\r\nShow\r\nAnim\r\n");
}

}  // namespace
}  // namespace velmor::testing
