// The conversation log at the size of a long session: appending lines to the model, writing
// them as RTF, and saving the file; and finding a line in a log of a million lines, against
// its target.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "shell/log_find.h"
#include "speech/conversation_log.h"
#include "speech/rtf_writer.h"

namespace velmor {
namespace {

constexpr int kLines = 100000;

// Lines of the length and mix a busy server gives: time, speaker, text with umlauts and
// now and then a brace or backslash; a few colours, some italic.
std::vector<LogLine> SampleLines() {
  std::mt19937 random(7);
  const TColor colors[] = {clBlack, RGB(60, 32, 0), RGB(128, 128, 128), RGB(0, 0, 60)};
  std::vector<LogLine> lines;
  lines.reserve(kLines);
  for (int i = 0; i < kLines; ++i) {
    std::string text = "14:05:" + std::to_string(10 + i % 50) + " [Spieler" +
                       std::to_string(i % 37) +
                       "] Gr\xFC\xDF"
                       "e aus Britain, wer kommt mit {" +
                       std::to_string(i) + "}?";
    const LogStyle style = i % 5 == 0 ? LogStyle::kItalic : LogStyle::kRegular;
    lines.push_back({std::move(text), colors[random() % 4], style});
  }
  return lines;
}

void BM_AppendLines(benchmark::State& state) {
  const std::vector<LogLine> lines = SampleLines();
  int observed = 0;
  for (auto _ : state) {
    ConversationLog log;
    log.AddObserver([&](LogLineView) { ++observed; });
    for (const LogLine& line : lines) log.AppendLogLine(line.text, line.color, line.style);
    benchmark::DoNotOptimize(log.LineCount());
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_AppendLines)->Unit(benchmark::kMillisecond);

void BM_WriteRtf(benchmark::State& state) {
  const std::vector<LogLine> lines = SampleLines();
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string rtf = RtfDocument(lines, RtfFont{ConversationLog::kFontName, 8});
    size = rtf.size();
    benchmark::DoNotOptimize(rtf.data());
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
  state.counters["file_bytes"] = static_cast<double>(size);
  state.counters["bytes_per_line"] = static_cast<double>(size) / kLines;
}
BENCHMARK(BM_WriteRtf)->Unit(benchmark::kMillisecond);

void BM_SaveLogFile(benchmark::State& state) {
  ConversationLog log;
  for (LogLine& line : SampleLines()) log.AppendLogLine(std::move(line));
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("velmor_log_bench_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  std::uintmax_t size = 0;
  for (auto _ : state) {
    const auto name = log.SaveLogFile(dir.string());
    state.PauseTiming();
    size = std::filesystem::file_size(*name);
    std::filesystem::remove(*name);
    state.ResumeTiming();
  }
  std::filesystem::remove_all(dir);
  state.SetItemsProcessed(state.iterations() * kLines);
  state.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_SaveLogFile)->Unit(benchmark::kMillisecond);

constexpr int kFindLines = 1000000;
constexpr double kFirstMatchTargetMs = 100;

// The find bar over a million lines, as the player types a word that only the line just
// before those in sight holds: the search starts from the newest lines in sight and wraps
// round the whole log.
void ReportFind() {
  ConversationLog log;
  const std::vector<LogLine> lines = SampleLines();
  for (int i = 0; i < kFindLines; ++i) {
    const LogLine& line = lines[static_cast<std::size_t>(i) % lines.size()];
    log.AppendLogLine(i == kFindLines - 100 ? line.text + " Rabenfeder" : line.text, line.color,
                      line.style);
  }
  LogPaneModel pane(log);
  pane.SetRows(30);
  LogFind find(pane);
  std::vector<double> first_ms;
  std::vector<double> count_ms;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    find.SetText(u"rabenFEDER");
    const auto found = std::chrono::steady_clock::now();
    while (find.CountMore()) {
    }
    const auto counted = std::chrono::steady_clock::now();
    first_ms.push_back(std::chrono::duration<double, std::milli>(found - start).count());
    count_ms.push_back(std::chrono::duration<double, std::milli>(counted - found).count());
    find.SetText(u"");
    pane.ScrollTo(pane.LastFirstLine());
  }
  std::sort(first_ms.begin(), first_ms.end());
  std::sort(count_ms.begin(), count_ms.end());
  std::printf(
      "Find in %d lines (median of 5): first match %.1f ms, then every match counted in %.1f ms "
      "in slices of %d lines\n",
      kFindLines, first_ms[2], count_ms[2], LogFind::kCountSlice);
  std::printf(
      "  %-9s first match in a million lines: %.1f ms vs %.0f ms = %.2fx (target <= 1.00x)\n",
      first_ms[2] <= kFirstMatchTargetMs ? "[held]" : "[missed]", first_ms[2], kFirstMatchTargetMs,
      first_ms[2] / kFirstMatchTargetMs);
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  velmor::ReportFind();
  return 0;
}
