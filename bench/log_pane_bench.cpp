// The log pane at the size of a long session: what each line costs in memory and time at
// 10,000, 100,000 and 1,000,000 lines, and how late the event loop runs while 1,000 lines a
// second arrive. The pane runs as in the program: the main window's Qt view over a
// TMainForm, on the offscreen platform, with its live log file in a temporary folder.
// For comparison, the text-document pane the program had before, at 10,000 lines.
//
// Usage: log_pane_bench; arguments (the benchmark library's flags, which the runner gives
// every benchmark) are ignored.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gui_qt/main_window_view.h"
#include "gui_qt/qt_colors.h"
#include "gui_qt/qt_dispatcher.h"
#include "gui_qt/qt_timer_host.h"
#include "gui_qt/win1252.h"
#include "shell/UOListener.h"
#include "tests/fakes/fake_media.h"
#include "tests/fakes/fake_tray_icon.h"
#include "tests/fakes/recording_dialogs.h"

namespace velmor::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kSizes[] = {10000, 100000, 1000000};
constexpr int kTimedLines = 10000;  // per size, in batches
constexpr int kBatch = 100;         // lines between two turns of the event loop
constexpr int kRate = 1000;         // lines per second for the responsiveness run
constexpr int kRateSeconds = 10;
constexpr double kBytesPerLineTarget = 250;
constexpr double kFlatTarget = 1.5;      // append time at the largest size over the smallest
constexpr double kLatenessTarget = 100;  // ms: beyond this a window feels stuck

// Heap in use, mapped blocks included.
double HeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
}

double RssBytes() {
  long pages = 0, resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Lines of the length and mix a busy server gives: time, speaker, text with umlauts; a few
// colours, some italic, now and then an error line.
class Lines {
 public:
  LogLine Next() {
    const int i = count_++;
    LogLine line{"14:05:" + std::to_string(10 + i % 50) + " [Spieler" + std::to_string(i % 37) +
                     "] Gr\xFC\xDF"
                     "e aus Britain, wer kommt mit? " +
                     std::to_string(i),
                 kColors[random_() % std::size(kColors)],
                 i % 5 == 0 ? LogStyle::kItalic : LogStyle::kRegular};
    if (i % 997 == 0) line.style = LogStyle::kBoldItalic;
    text_bytes_ += static_cast<double>(line.text.size());
    return line;
  }
  double TextBytes() const { return text_bytes_; }

 private:
  static constexpr TColor kColors[] = {clBlack,          RGB(60, 32, 0),  RGB(128, 128, 128),
                                       RGB(0, 0, 60),    RGB(200, 0, 0),  RGB(0, 120, 0),
                                       RGB(40, 40, 200), RGB(150, 90, 10)};
  std::mt19937 random_{7};
  int count_ = 0;
  double text_bytes_ = 0;
};

void Verdict(bool held, const char* what, double figure, double target, const char* unit) {
  std::printf("  %-9s %s: %.2f %s vs %.2f %s = %.2fx (target <= 1.00x)\n",
              held ? "[held]" : "[missed]", what, figure, unit, target, unit, figure / target);
}

// The pane of before: a text document with one block per line, as the program had it.
double TextDocumentBytesPerLine(int count) {
  Lines lines;
  QPlainTextEdit pane;
  pane.setReadOnly(true);
  pane.setUndoRedoEnabled(false);
  pane.resize(316, 330);
  pane.show();
  QApplication::processEvents();
  const double heap_before = HeapBytes();
  for (int i = 0; i < count; ++i) {
    const LogLine line = lines.Next();
    QTextCharFormat format;
    format.setForeground(ToQColor(line.color, pane.palette()));
    format.setFontItalic(line.style != LogStyle::kRegular);
    QTextCursor cursor(pane.document());
    cursor.movePosition(QTextCursor::End);
    if (i > 0) cursor.insertBlock();
    cursor.insertText(ToQString(line.text), format);
    pane.verticalScrollBar()->setValue(pane.verticalScrollBar()->maximum());
    if (i % kBatch == 0) QApplication::processEvents();
  }
  QApplication::processEvents();
  return (HeapBytes() - heap_before - lines.TextBytes()) / count;
}

struct Figures {
  int lines = 0;
  double heap_per_line = 0;  // beyond the text
  double rss_per_line = 0;
  double append_us = 0;  // median of the batches
};

int Run() {
  const fs::path folder =
      fs::temp_directory_path() / ("velmor-pane-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> remove_folder(
      &folder, [](const fs::path* path) {
        std::error_code error;
        fs::remove_all(*path, error);
      });

  std::printf("Reference: the text-document pane of before, 10000 lines...\n");
  std::fflush(stdout);
  const double before = TextDocumentBytesPerLine(10000);

  testing::RecordingDialogs dialogs;
  testing::FakeTrayIcon tray;
  testing::FakeMediaSystem media;
  QtDispatcher dispatcher(qApp);
  QtTimerHost timers;
  TMainForm form(MainFormServices{dialogs, dispatcher, timers, tray, media, "velmor", folder});
  MainWindowView view(form);
  view.show();
  Lines lines;
  const auto append = [&form, &lines](int count) {
    for (int i = 0; i < count; ++i) {
      form.LogTalking.AppendLogLine(lines.Next());
      if (i % kBatch == kBatch - 1) QApplication::processEvents();
    }
    QApplication::processEvents();
  };
  // The fonts, glyphs and the live log file are made with the first lines.
  append(200);
  const double heap_base = HeapBytes();
  const double rss_base = RssBytes();
  const double text_base = lines.TextBytes();
  int count = 0;

  std::vector<Figures> figures;
  for (const int size : kSizes) {
    std::printf("Filling the pane to %d lines...\n", size);
    std::fflush(stdout);
    append(size - count);
    count = size;
    Figures f;
    f.lines = size;
    f.heap_per_line = (HeapBytes() - heap_base - (lines.TextBytes() - text_base)) / size;
    f.rss_per_line = (RssBytes() - rss_base) / size;
    std::vector<double> batches;
    for (int done = 0; done < kTimedLines; done += 1000) {
      QElapsedTimer timer;
      timer.start();
      append(1000);
      batches.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0 / 1000);
    }
    count += kTimedLines;
    std::nth_element(batches.begin(), batches.begin() + batches.size() / 2, batches.end());
    f.append_us = batches[batches.size() / 2];
    figures.push_back(f);
  }

  // 1000 lines a second, each posted to the main thread as a relay worker posts it, while a
  // 10 ms timer notes how late the loop gets to it.
  std::printf("Appending %d lines a second for %d s with %d lines in the pane...\n", kRate,
              kRateSeconds, count);
  std::fflush(stdout);
  QTimer feed;
  feed.setTimerType(Qt::PreciseTimer);
  QObject::connect(&feed, &QTimer::timeout, [&] {
    for (int i = 0; i < kRate / 100; ++i) {
      dispatcher.Post([&form, line = lines.Next()] { form.LogTalking.AppendLogLine(line); });
    }
  });
  std::vector<double> lateness;
  QElapsedTimer clock;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  qint64 last = 0;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    lateness.push_back(std::max(0.0, static_cast<double>(now - last) / 1e6 - 10));
    last = now;
  });
  const double cpu_before = ThreadCpuSeconds();
  clock.start();
  feed.start(10);
  probe.start(10);
  while (clock.elapsed() < kRateSeconds * 1000)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  feed.stop();
  probe.stop();
  const double cpu = (ThreadCpuSeconds() - cpu_before) / kRateSeconds * 100;
  std::sort(lateness.begin(), lateness.end());
  const double worst = lateness.empty() ? 0 : lateness.back();
  const double p99 = lateness.empty() ? 0 : lateness[lateness.size() * 99 / 100];
  const std::uintmax_t live_bytes =
      form.LogTalking.LineCount() > 0 && fs::exists(folder / LiveLogFile::FileName(1))
          ? fs::file_size(folder / LiveLogFile::FileName(1))
          : 0;

  std::printf("Log pane summary (main window view over TMainForm, offscreen, live log file on)\n");
  std::printf("  %10s %22s %14s %16s\n", "lines", "heap/line beyond text", "RSS/line",
              "append us/line");
  for (const Figures& f : figures) {
    std::printf("  %10d %18.0f B %12.0f B %16.2f\n", f.lines, f.heap_per_line, f.rss_per_line,
                f.append_us);
  }
  std::printf("  the text-document pane of before, 10000 lines: %.0f bytes per line beyond text\n",
              before);
  std::printf(
      "  %d lines/s for %d s: main thread CPU %.1f%% of one core, event loop late by %.1f ms "
      "at most (99%% within %.1f ms); live log file %.1f MiB\n",
      kRate, kRateSeconds, cpu, worst, p99, static_cast<double>(live_bytes) / (1 << 20));

  std::printf("Log pane targets\n");
  for (const Figures& f : figures) {
    char what[96];
    std::snprintf(what, sizeof what, "memory per line beyond its text at %d lines", f.lines);
    Verdict(f.heap_per_line <= kBytesPerLineTarget, what, f.heap_per_line, kBytesPerLineTarget,
            "bytes");
  }
  const double growth = figures.back().append_us / figures.front().append_us;
  char what[96];
  std::snprintf(what, sizeof what, "append time at %d lines over %d lines", figures.back().lines,
                figures.front().lines);
  Verdict(growth <= kFlatTarget, what, growth, kFlatTarget, "x");
  std::snprintf(what, sizeof what, "event loop lateness while %d lines/s arrive", kRate);
  Verdict(worst <= kLatenessTarget, what, worst, kLatenessTarget, "ms");
  form.TrayMenuBeendenClick();
  return 0;
}

}  // namespace
}  // namespace velmor::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  (void)argc;
  return velmor::bench::Run();
}
