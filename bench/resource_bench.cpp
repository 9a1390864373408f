// The running program's own cost: the real velmor binary, on the offscreen platform with
// the dummy audio driver, started in a fresh folder whose Velmor.ini starts the relay with
// the tray animation on. Measured from /proc: CPU time and wake-ups per thread over 30 s
// idle, and resident memory idle, with 4 clients relaying game traffic at a game's rate to
// a local server, and with 4 clients pushing traffic as fast as they can; then what each
// logged line adds, since the log stays in memory for the whole session. Ended with
// SIGTERM, as a user's Ctrl+C would.
//
// Usage: resource_bench [--velmor=PATH]; by default the velmor beside the bench folder.
// Other arguments (the benchmark library's flags, which the runner gives every benchmark)
// are ignored.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_net.h"
#include "bench/child_process.h"
#include "bench/game_stream.h"
#include "bench/proc_stats.h"
#include "bench/relayed_clients.h"

namespace velmor::bench {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kSettle = 5s;  // after start-up, before the idle figures
constexpr auto kIdle = 30s;
constexpr auto kLoad = 30s;
constexpr auto kFlood = 10s;
constexpr int kClients = 4;
constexpr auto kTick = 100ms;
constexpr std::size_t kGameRate = 8 << 10;  // compressed bytes per second and client
constexpr int kGameSpeechPercent = 1;       // a few log lines per second and client
constexpr std::size_t kFloodWrite = 64 << 10;
constexpr std::size_t kTalkBytes = 1 << 20;  // compressed speech, about 16000 lines

constexpr double kIdleCpuTarget = 1.0;       // percent of one core
constexpr double kRssTarget = 40.0;          // MiB
constexpr double kBytesPerLineTarget = 150;  // beyond the line's text

struct Phase {
  double cpu_percent = 0;  // of one core
  double rss_last = 0;     // MiB
  double rss_max = 0;
  double seconds = 0;
};

// Watches `pid` for `length`: CPU time over the whole phase, resident memory twice a second.
Phase Watch(pid_t pid, std::chrono::seconds length) {
  Phase phase;
  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = CpuSeconds(pid);
  while (std::chrono::steady_clock::now() - start < length) {
    std::this_thread::sleep_for(500ms);
    phase.rss_last = RssMiB(pid);
    phase.rss_max = std::max(phase.rss_max, phase.rss_last);
  }
  phase.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  phase.cpu_percent = (CpuSeconds(pid) - cpu_start) / phase.seconds * 100;
  return phase;
}

// Until the main thread has taken no CPU time for a second (it has appended every line
// handed to it), at most `limit`.
void WaitForQuietMainThread(pid_t pid, std::chrono::seconds limit) {
  const std::string stat =
      "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat";
  const auto deadline = std::chrono::steady_clock::now() + limit;
  double last = StatCpuSeconds(stat);
  int quiet = 0;
  while (quiet < 4 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(250ms);
    const double now = StatCpuSeconds(stat);
    quiet = now == last ? quiet + 1 : 0;
    last = now;
  }
}

struct LogGrowth {
  std::int64_t lines = 0;
  std::int64_t line_bytes = 0;  // their text
  double rss_before = 0;        // MiB
  double rss_after = 0;
  double main_cpu_seconds = 0;
};

// Sends `talk` once through the relay and waits until the window has logged it all.
LogGrowth MeasureLogGrowth(pid_t pid, std::uint16_t relay_port, Socket& server,
                           const CompressedStream& talk) {
  const std::string main_stat =
      "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat";
  LogGrowth growth;
  growth.lines = talk.speech_packets;
  growth.line_bytes = talk.line_bytes;
  WaitForQuietMainThread(pid, 10s);
  growth.rss_before = RssMiB(pid);
  const double cpu_before = StatCpuSeconds(main_stat);
  {
    Socket client = ConnectTo(relay_port);
    Socket accepted = AcceptWithin(server);
    std::thread reader([&client, size = talk.bytes.size()] {
      std::vector<std::uint8_t> received(size);
      ReceiveExactly(client, received.data(), size);
    });
    SendAll(accepted, talk.bytes.data(), talk.bytes.size());
    reader.join();
  }
  WaitForQuietMainThread(pid, 60s);
  growth.main_cpu_seconds = StatCpuSeconds(main_stat) - cpu_before;
  growth.rss_after = RssMiB(pid);
  return growth;
}

void Verdict(double figure, double target, const char* what, const char* unit) {
  std::printf("  %-9s %s: %.2f %s vs %.2f %s = %.2fx (target <= 1.00x)\n",
              figure <= target ? "[held]" : "[missed]", what, figure, unit, target, unit,
              figure / target);
}

fs::path DefaultVelmor() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return self.parent_path().parent_path() / "velmor";
}

void PrintFile(const fs::path& file, int most_lines) {
  std::ifstream in(file);
  std::string line;
  for (int i = 0; i < most_lines && std::getline(in, line); ++i) {
    std::printf("    | %s\n", line.c_str());
  }
}

int Run(const fs::path& velmor) {
  if (!fs::exists(velmor)) {
    std::printf(
        "Resource summary\n  [n/a]     no velmor binary at %s (built with VELMOR_GUI=ON?)\n",
        velmor.c_str());
    return 0;
  }
  std::string folder_template = (fs::temp_directory_path() / "velmor-resource-XXXXXX").string();
  if (mkdtemp(folder_template.data()) == nullptr) {
    std::printf("resource_bench: cannot make a temporary folder\n");
    return 1;
  }
  const fs::path folder = folder_template;
  // Removed on every way out; declared before the program, so the program has ended first.
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> remove_folder(
      &folder, [](const fs::path* path) {
        std::error_code error;
        fs::remove_all(*path, error);
      });
  Socket server = ListenLoopback();
  const std::uint16_t client_port = UnusedPort();
  {
    std::ofstream ini(folder / "Velmor.ini", std::ios::binary);
    ini << client_port << "\r\n127.0.0.1\r\n"
        << server.LocalPort() << "\r\nStart\r\nShow\r\nAnim\r\n";
  }
  const fs::path output = folder / "velmor-output.txt";
  ChildProcess program;
  if (!program.Start({velmor.string()}, folder.string(),
                     {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy"}, output.string()) ||
      !WaitUntilListening(client_port, 20s)) {
    std::printf("resource_bench: velmor did not start its relay on port %u; its output:\n",
                client_port);
    PrintFile(output, 20);
    return 1;
  }
  const pid_t pid = program.Pid();
  std::this_thread::sleep_for(kSettle);

  // Idle.
  const auto threads_before = SampleThreads(pid);
  const Phase idle = Watch(pid, kIdle);
  const auto threads_after = SampleThreads(pid);

  // 4 clients at a game's rate.
  const CompressedStream game = MakeCompressedStream(4 << 20, 7, kGameSpeechPercent);
  const double packets_per_byte =
      static_cast<double>(game.packets) / static_cast<double>(game.bytes.size());
  const double lines_per_byte =
      static_cast<double>(game.speech_packets) / static_cast<double>(game.bytes.size());
  const std::size_t piece = kGameRate * static_cast<std::size_t>(kTick.count()) / 1000;
  Phase load;
  bool load_failed = false;
  std::int64_t load_bytes = 0;
  {
    Clients clients(kClients, kTick, client_port, server, game, piece, kTick, true);
    load = Watch(pid, kLoad);
    load_bytes = clients.ReceivedByClients();
    load_failed = clients.Failed();
  }
  std::this_thread::sleep_for(2s);

  // 4 clients as fast as they can, with no speech, so the log pane does not grow.
  const CompressedStream flood_stream = MakeCompressedStream(8 << 20, 11, 0);
  Phase flood;
  bool flood_failed = false;
  std::int64_t flood_bytes = 0;
  {
    Clients clients(kClients, kTick, client_port, server, flood_stream, kFloodWrite, 0ms, false);
    flood = Watch(pid, kFlood);
    flood_bytes = clients.ReceivedByClients();
    flood_failed = clients.Failed();
  }
  std::this_thread::sleep_for(2s);
  const double rss_after = RssMiB(pid);

  // What a logged line costs: one client, a stream of nothing but speech.
  const CompressedStream talk = MakeCompressedStream(kTalkBytes, 13, 100);
  const LogGrowth growth = MeasureLogGrowth(pid, client_port, server, talk);
  const double rss_peak = PeakRssMiB(pid);

  const auto stop_start = std::chrono::steady_clock::now();
  const bool ended = program.Stop(10s);
  const double stop_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - stop_start).count();

  std::printf("Resource summary (velmor on the offscreen platform, relay started, animation on)\n");
  std::printf("  idle %.0f s: CPU %.2f%% of one core, RSS %.1f MiB; threads and wake-ups per s:\n",
              idle.seconds, idle.cpu_percent, idle.rss_last);
  for (const auto& [tid, after] : threads_after) {
    const auto before = threads_before.find(tid);
    if (before == threads_before.end()) continue;
    std::printf("    %-16s %6.1f wake-ups/s  %6.2f%% CPU%s\n", after.name.c_str(),
                static_cast<double>(after.switches - before->second.switches) / idle.seconds,
                (after.cpu_seconds - before->second.cpu_seconds) / idle.seconds * 100,
                tid == pid ? "  (main thread)" : "");
  }
  const double game_bytes_per_s = static_cast<double>(load_bytes) / load.seconds;
  std::printf(
      "  %d clients at a game's rate, %.0f s: %.1f KiB/s relayed (%.0f packets/s, %.1f log "
      "lines/s in all), CPU %.2f%%, RSS %.1f MiB (most %.1f)%s\n",
      kClients, load.seconds, game_bytes_per_s / 1024, game_bytes_per_s * packets_per_byte,
      game_bytes_per_s * lines_per_byte, load.cpu_percent, load.rss_last, load.rss_max,
      load_failed ? "  [a connection failed]" : "");
  std::printf(
      "  %d clients flooding, no speech, %.0f s: %.1f MiB/s relayed in all, CPU %.0f%%, RSS "
      "%.1f MiB (most %.1f)%s\n",
      kClients, flood.seconds, static_cast<double>(flood_bytes) / flood.seconds / (1 << 20),
      flood.cpu_percent, flood.rss_last, flood.rss_max,
      flood_failed ? "  [a connection failed]" : "");
  std::printf("  after the clients left: RSS %.1f MiB\n", rss_after);
  const double bytes_per_line =
      (growth.rss_after - growth.rss_before) * (1 << 20) / static_cast<double>(growth.lines);
  std::printf(
      "  logging %lld lines (one client, nothing but speech): RSS %.1f -> %.1f MiB, %.0f bytes "
      "per line (%.1f MiB per 10000 lines), main thread %.1f us CPU per line\n",
      static_cast<long long>(growth.lines), growth.rss_before, growth.rss_after, bytes_per_line,
      bytes_per_line * 10000 / (1 << 20),
      growth.main_cpu_seconds * 1e6 / static_cast<double>(growth.lines));
  const double game_lines_per_s = game_bytes_per_s * lines_per_byte;
  const double hour_rss = load.rss_max + bytes_per_line * game_lines_per_s * 3600 / (1 << 20);
  std::printf("  peak RSS of the whole run %.1f MiB\n", rss_peak);
  const int status = program.Status();
  if (ended && WIFEXITED(status)) {
    std::printf("  SIGTERM: exited with code %d after %.2f s; the folder holds:",
                WEXITSTATUS(status), stop_seconds);
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::printf(" %s", entry.path().filename().c_str());
    }
    std::printf("\n");
  } else {
    std::printf("  SIGTERM: did not exit cleanly within 10 s (status %d)\n", status);
  }
  if (fs::file_size(output) > 0) {
    std::printf("  velmor's own output:\n");
    PrintFile(output, 10);
  }

  std::printf("Resource targets\n");
  Verdict(idle.cpu_percent, kIdleCpuTarget, "idle CPU (% of one core)", "%");
  Verdict(idle.rss_last, kRssTarget, "RSS idle", "MiB");
  Verdict(load.rss_max, kRssTarget, "RSS with 4 clients at a game's rate", "MiB");
  Verdict(flood.rss_max, kRssTarget, "RSS with 4 clients flooding", "MiB");
  // Every logged line stays in memory until exit, so a long session grows by its lines.
  char hour[120];
  std::snprintf(hour, sizeof hour,
                "RSS after 1 hour of 4 clients at a game's rate (%.1f lines/s; projected)",
                game_lines_per_s);
  Verdict(hour_rss, kRssTarget, hour, "MiB");
  const double text_per_line =
      static_cast<double>(growth.line_bytes) / static_cast<double>(growth.lines);
  char beyond[120];
  std::snprintf(beyond, sizeof beyond, "memory per logged line beyond its %.0f bytes of text",
                text_per_line);
  Verdict(bytes_per_line - text_per_line, kBytesPerLineTarget, beyond, "B");
  return 0;
}

}  // namespace
}  // namespace velmor::bench

int main(int argc, char** argv) {
  std::filesystem::path velmor = velmor::bench::DefaultVelmor();
  const std::string option = "--velmor=";
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]).rfind(option, 0) == 0) velmor = argv[i] + option.size();
  }
  try {
    return velmor::bench::Run(std::filesystem::absolute(velmor));
  } catch (const std::exception& error) {
    std::printf("resource_bench: %s\n", error.what());
    return 1;
  }
}
