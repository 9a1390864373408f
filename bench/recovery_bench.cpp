// The start after a long session that ended without its exit steps: the velmor binary
// finds a 300 MB live log file (about 2.9 million lines, weeks of a busy shard in the tray)
// and recovers it. How soon the relay listens, how long the recovery takes and how much
// memory the program needs meanwhile, against the targets.
//
// Usage: recovery_bench [--velmor=<path>]; by default the velmor binary of this build.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench/child_process.h"
#include "bench/proc_stats.h"
#include "speech/live_log_file.h"
#include "tests/support/large_live_log.h"
#include "tests/support/loopback.h"

namespace velmor::bench {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kFileBytes = 300ull << 20;
constexpr double kListenTargetSeconds = 1;
constexpr double kMemoryTargetMiB = 100;

void Verdict(const char* what, double figure, double target, const char* unit) {
  std::printf("  %-9s %s: %.2f %s (target <= %.2f %s)\n", figure <= target ? "[held]" : "[missed]",
              what, figure, unit, target, unit);
}

int Run(const fs::path& velmor) {
  if (!fs::exists(velmor)) {
    std::printf("Recovery summary\n  [n/a]     no velmor binary at %s\n", velmor.c_str());
    return 0;
  }
  const fs::path folder =
      fs::temp_directory_path() / ("velmor-recovery-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::printf("Writing a live log file of %llu MiB...\n",
              static_cast<unsigned long long>(kFileBytes >> 20));
  std::fflush(stdout);
  const fs::path live = folder / LiveLogFile::FileName(1);
  const std::uint64_t bytes = testing::WriteLargeLiveLogFile(live, kFileBytes);
  const std::uint16_t client_port = testing::UnusedPort();
  std::ofstream(folder / "Velmor.ini", std::ios::binary)
      << client_port << "\r\n127.0.0.1\r\n2593\r\nStart\r\nShow\r\nAnim\r\n";

  ChildProcess program;
  const auto started = Clock::now();
  if (!program.Start({velmor.string()}, folder.string(),
                     {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy"})) {
    std::printf("recovery_bench: velmor did not start\n");
    return 1;
  }
  double listen_seconds = -1;
  double recovered_seconds = -1;
  double peak_mib = 0;
  while (Clock::now() - started < 120s && (listen_seconds < 0 || recovered_seconds < 0)) {
    const double now = std::chrono::duration<double>(Clock::now() - started).count();
    if (listen_seconds < 0 && testing::PortIsListening(client_port)) listen_seconds = now;
    if (recovered_seconds < 0 && !fs::exists(live)) recovered_seconds = now;
    peak_mib = std::max(peak_mib, PeakRssMiB(program.Pid()));
    std::this_thread::sleep_for(5ms);
  }
  peak_mib = std::max(peak_mib, PeakRssMiB(program.Pid()));
  program.Stop(10s);
  std::error_code ignored;
  fs::remove_all(folder, ignored);

  std::printf("Recovery summary (a %.0f MiB live log file left behind)\n",
              static_cast<double>(bytes) / (1 << 20));
  std::printf(
      "  relay listening after %.2f s, the file recovered after %.2f s, peak memory %.0f MiB\n",
      listen_seconds, recovered_seconds, peak_mib);
  std::printf("Recovery targets\n");
  Verdict("time until the relay listens", listen_seconds, kListenTargetSeconds, "s");
  Verdict("peak memory of the program while it recovers", peak_mib, kMemoryTargetMiB, "MiB");
  return 0;
}

}  // namespace
}  // namespace velmor::bench

int main(int argc, char** argv) {
  std::error_code error;
  std::filesystem::path velmor =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path().parent_path() / "velmor";
  const std::string option = "--velmor=";
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]).rfind(option, 0) == 0) velmor = argv[i] + option.size();
  }
  return velmor::bench::Run(std::filesystem::absolute(velmor));
}
