// What a sound costs the main thread, which must never stall where the player would feel
// it. A server may send any file as a sound; here the largest one that is accepted (a
// six-minute Ogg, about 60 MiB once decoded) and one that is refused (a thirty-minute Ogg,
// 300 MiB decoded). Each step the main thread runs is timed on its own, many times, and the
// longest time is the figure: opening, the notice that starts playback once decoding is
// done, closing a sound still decoding (the decoding is stopped and waited for) and closing
// a decoded one. Also shown: how long decoding takes on its own thread, and the memory
// peak of refusing the long file.
//
// Usage: sound_open_bench (arguments are ignored). Needs sox to make the files.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio_sdl/sdl_media_system.h"
#include "platform/exception.h"
#include "tests/fakes/queue_dispatcher.h"

namespace velmor::bench {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRounds = 15;
constexpr double kStallTarget = 16.0;  // ms: less than one frame at 60 Hz

double Milliseconds(Clock::duration span) {
  return std::chrono::duration<double, std::milli>(span).count();
}

double Timed(const std::function<void()>& step) {
  const auto start = Clock::now();
  step();
  return Milliseconds(Clock::now() - start);
}

struct Figure {
  std::vector<double> times;
  void Add(double ms) { times.push_back(ms); }
  double Longest() const { return *std::max_element(times.begin(), times.end()); }
  double Median() const {
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

// The process's peak resident memory so far, in MiB.
double PeakMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

bool MakeTone(const fs::path& file, int rate, int channels, int seconds) {
  const std::string command = "sox -n -r " + std::to_string(rate) + " -c " +
                              std::to_string(channels) + " '" + file.string() + "' synth " +
                              std::to_string(seconds) + " sine 440 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

void Verdict(const char* what, const Figure& figure) {
  const double longest = figure.Longest();
  std::printf("  %-9s %s: longest %.2f ms, median %.2f ms over %zu (target <= %.1f ms)\n",
              longest <= kStallTarget ? "[held]" : "[missed]", what, longest, figure.Median(),
              figure.times.size(), kStallTarget);
}

int Run() {
  ::setenv("SDL_AUDIODRIVER", "dummy", 0);
  const fs::path folder = fs::temp_directory_path() / "velmor_sound_bench";
  fs::create_directories(folder);
  const fs::path six = folder / "six_minutes.ogg";
  const fs::path thirty = folder / "thirty_minutes.ogg";
  std::printf("making the files with sox ...\n");
  if (!MakeTone(six, 44100, 2, 355) || !MakeTone(thirty, 8000, 1, 1800)) {
    std::printf("  [n/a]     sox could not make the files\n");
    fs::remove_all(folder);
    return 0;
  }

  testing::QueueDispatcher dispatcher;
  SdlMediaSystem media(dispatcher);
  media.Open(six.string(), MediaKind::kMusic);  // sets up the audio session first

  Figure refuse;
  for (int i = 0; i < kRounds; ++i) {
    refuse.Add(Timed([&] {
      try {
        media.Open(thirty.string(), MediaKind::kSound);
      } catch (const Exception&) {
      }
    }));
  }

  const double refuse_peak = PeakMiB();

  Figure open, close_decoding, ready, close_decoded;
  Figure decoding;
  for (int i = 0; i < kRounds; ++i) {
    std::unique_ptr<MediaDevice> sound;
    open.Add(Timed([&] { sound = media.Open(six.string(), MediaKind::kSound); }));
    sound->Play();
    if (i % 2 == 0) {
      close_decoding.Add(Timed([&] { sound.reset(); }));
      continue;
    }
    // Decoding runs on its own thread; the main thread only runs what it posts.
    const auto start = Clock::now();
    while (sound->Position() == 0) {
      const auto before = Clock::now();
      if (dispatcher.Drain() > 0) ready.Add(Milliseconds(Clock::now() - before));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    decoding.Add(Milliseconds(Clock::now() - start));
    close_decoded.Add(Timed([&] { sound.reset(); }));
    dispatcher.Drain();
  }
  fs::remove_all(folder);

  std::printf("\nmain thread, per step:\n");
  Verdict("open a 6-minute sound", open);
  Verdict("refuse a 30-minute sound", refuse);
  Verdict("start it once decoded", ready);
  Verdict("close it while decoding", close_decoding);
  Verdict("close it decoded", close_decoded);
  std::printf("\nnot on the main thread:\n");
  std::printf("  decoding a 6-minute Ogg until it plays: median %.0f ms, longest %.0f ms\n",
              decoding.Median(), decoding.Longest());
  std::printf("  peak resident memory after refusing the 30-minute sound %d times: %.0f MiB\n",
              kRounds, refuse_peak);
  std::printf("  peak resident memory of the whole run: %.0f MiB\n", PeakMiB());
  return 0;
}

}  // namespace
}  // namespace velmor::bench

int main() {
  return velmor::bench::Run();
}
