// The relay on loopback, side by side with the paths a player could take instead (direct,
// through the relay with the tap decoding, through the relay with the tap inactive, through
// socat; see bench/relay_paths.h): round-trip latency (1 and 100 bytes, p50 and p99) and
// bulk server-to-client throughput, plus the tap's work alone without sockets.
// Every benchmark runs several times, interleaved in random order, and the summary takes the
// medians, so load from elsewhere on the machine falls on all paths alike.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_net.h"
#include "bench/game_stream.h"
#include "bench/proc_stats.h"
#include "bench/relay_paths.h"
#include "relay/thread_count.h"
#include "tests/support/fake_connections.h"

namespace velmor::bench {
namespace {

// Many short runs, interleaved, so that a burst of other work hits every path alike.
constexpr int kRuns = 5;                                    // repetitions of bulk benchmarks
constexpr int kRoundTripRuns = 15;                          // repetitions of round trips
constexpr std::int64_t kRoundTrips = 4000;                  // per run
constexpr std::int64_t kWarmUpRoundTrips = 500;             // per run, not measured
constexpr std::size_t kBulkBytes = std::size_t{384} << 20;  // per run
constexpr std::size_t kServerWrite = 64 << 10;              // the server's write size in bulk
constexpr std::size_t kClientRead = 256 << 10;              // the client's read size in bulk
constexpr int kSpeechPercent = 10;

constexpr double kBulkTapTarget = 170.0;   // MiB/s with the tap decoding
constexpr double kBulkPlainTarget = 1.5;   // times socat, tap inactive
constexpr double kAddedLatencyTarget = 1;  // relay's added p50 over socat's, at most

constexpr const char* kTapChainName = "TapChain/no-sockets";

std::unique_ptr<Paths> shared_paths;  // made by the first benchmark, ended by main

Paths& SharedPaths() {
  if (!shared_paths) {
    shared_paths = std::make_unique<Paths>(MakeCompressedStream(8 << 20, 2592, kSpeechPercent));
  }
  return *shared_paths;
}

// The server answers every ping of `size` bytes with the next `size` bytes of game stream.
void AnswerPings(Socket& socket, const Bytes& stream, std::size_t size) {
  StreamCursor cursor(stream);
  Bytes ping(size);
  try {
    while (ReceiveExactly(socket, ping.data(), size)) {
      auto [data, count] = cursor.Next(size);
      SendAll(socket, data, count);
    }
  } catch (const EIdSocketError&) {
    // The client went away.
  }
}

void BM_RoundTrip(benchmark::State& state, Path path, std::size_t size) {
  Paths& paths = SharedPaths();
  if (!paths.Available(path)) {
    state.SkipWithError("socat is not installed");
    return;
  }
  Paths::Pair pair = paths.Connect(path);
  std::thread server(AnswerPings, std::ref(pair.server), std::cref(paths.Stream().bytes), size);
  Bytes ping(size, 'p');
  Bytes pong(size);
  auto round_trip = [&] {
    SendAll(pair.client, ping.data(), size);
    if (!ReceiveExactly(pair.client, pong.data(), size)) throw std::runtime_error("closed");
  };
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(state.max_iterations));
  try {
    for (std::int64_t i = 0; i < kWarmUpRoundTrips; ++i) round_trip();
    for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      round_trip();
      const auto end = std::chrono::steady_clock::now();
      micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
  }
  pair.client.Shutdown(Socket::Direction::kSend);
  server.join();
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  auto at = [&](double share) {
    return micros[std::min(micros.size() - 1, static_cast<std::size_t>(share * micros.size()))];
  };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
}

// The server sends `count` bytes of game stream each time the client asks for them.
void SendBulk(Socket& socket, const Bytes& stream, std::atomic<pid_t>& thread_id) {
  thread_id = gettid();
  StreamCursor cursor(stream);
  std::uint64_t count = 0;
  try {
    while (ReceiveExactly(socket, reinterpret_cast<std::uint8_t*>(&count), sizeof count)) {
      for (std::uint64_t left = count; left > 0;) {
        auto [data, size] =
            cursor.Next(static_cast<std::size_t>(std::min<std::uint64_t>(left, kServerWrite)));
        SendAll(socket, data, size);
        left -= size;
      }
    }
  } catch (const EIdSocketError&) {
  }
}

void BM_Bulk(benchmark::State& state, Path path) {
  Paths& paths = SharedPaths();
  if (!paths.Available(path)) {
    state.SkipWithError("socat is not installed");
    return;
  }
  Paths::Pair pair = paths.Connect(path);
  std::atomic<pid_t> server_thread{0};
  std::thread server(SendBulk, std::ref(pair.server), std::cref(paths.Stream().bytes),
                     std::ref(server_thread));
  std::vector<std::uint8_t> buffer(kClientRead);
  const std::int64_t lines_before = paths.DecodedLines();
  // The relay's CPU time: its worker is a thread of this process, socat's a child process.
  auto relay_cpu = [&] {
    return path == Path::kSocat ? ChildrenCpuSeconds(paths.SocatPid()) : ThreadCpuSeconds(getpid());
  };
  const auto cpu_before = relay_cpu();
  double seconds = 0;
  try {
    for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      std::uint64_t count = kBulkBytes;
      SendAll(pair.client, reinterpret_cast<const std::uint8_t*>(&count), sizeof count);
      for (std::size_t left = kBulkBytes; left > 0;) {
        const std::size_t n = pair.client.Receive(buffer.data(), std::min(left, buffer.size()));
        if (n == 0) throw std::runtime_error("closed early");
        left -= n;
      }
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
  }
  const double cpu = MostCpuGained(cpu_before, relay_cpu(), {gettid(), server_thread.load()});
  pair.client.Shutdown(Socket::Direction::kSend);
  server.join();
  const double bytes = static_cast<double>(kBulkBytes) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  if (seconds > 0) state.counters["MiB_per_s"] = bytes / (1 << 20) / seconds;
  // What the relaying thread would reach with a core to itself.
  if (path != Path::kDirect && cpu > 0) state.counters["MiB_per_cpu_s"] = bytes / (1 << 20) / cpu;
  if (path == Path::kTap) {
    state.counters["lines_per_MiB"] =
        static_cast<double>(paths.DecodedLines() - lines_before) / (bytes / (1 << 20));
  }
}

// The tap's work alone, on this thread and without sockets: the same stream in blocks of
// the relay's read size, each copied into a fresh block as the relay does.
void BM_TapChain(benchmark::State& state) {
  const Bytes& stream = SharedPaths().Stream().bytes;
  WiredTap wired(true);
  testing::FakeConnections connections;
  double seconds = 0;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t pos = 0; pos < stream.size(); pos += TIdTCPConnection::RecvBufferSize) {
      const std::size_t end = std::min(stream.size(), pos + TIdTCPConnection::RecvBufferSize);
      TMemoryStream block;
      block.data.assign(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                        stream.begin() + static_cast<std::ptrdiff_t>(end));
      wired.tap.Send(connections[0], block);
      benchmark::DoNotOptimize(block.data.data());
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bytes += static_cast<std::int64_t>(stream.size());
  }
  wired.tap.Disconnect(connections[0]);
  state.SetBytesProcessed(bytes);
  if (seconds > 0) state.counters["MiB_per_s"] = static_cast<double>(bytes) / (1 << 20) / seconds;
}

std::string RoundTripName(Path path, std::size_t size) {
  return "RoundTrip/" + std::to_string(size) + "B/" + PathName(path);
}
std::string BulkName(Path path) {
  return std::string("Bulk/") + PathName(path);
}

void RegisterAll() {
  for (std::size_t size : {std::size_t{1}, std::size_t{100}}) {
    for (Path path : kPaths) {
      benchmark::RegisterBenchmark(RoundTripName(path, size).c_str(), BM_RoundTrip, path, size)
          ->Iterations(kRoundTrips)
          ->Repetitions(kRoundTripRuns)
          ->UseRealTime()
          ->Unit(benchmark::kMicrosecond);
    }
  }
  for (Path path : kPaths) {
    benchmark::RegisterBenchmark(BulkName(path).c_str(), BM_Bulk, path)
        ->Iterations(1)
        ->Repetitions(kRuns)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark(kTapChainName, BM_TapChain)
      ->Repetitions(kRuns)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

// Shows only the medians, and keeps their counters for the summary.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that logs stay plain.
  MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    std::vector<Run> medians;
    for (const Run& run : reports) {
      if (run.error_occurred) {
        errors[run.run_name.function_name] = run.error_message;
        medians.push_back(run);
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        for (const auto& [name, counter] : run.counters) {
          figures[run.run_name.function_name][name] = counter.value;
        }
        medians.push_back(run);
      }
    }
    if (!medians.empty()) ConsoleReporter::ReportRuns(medians);
  }

  // The median of `counter` for benchmark `name`, if it ran.
  std::optional<double> Figure(const std::string& name, const std::string& counter) const {
    auto found = figures.find(name);
    if (found == figures.end()) return std::nullopt;
    auto value = found->second.find(counter);
    if (value == found->second.end()) return std::nullopt;
    return value->second;
  }

  std::map<std::string, std::map<std::string, double>> figures;
  std::map<std::string, std::string> errors;
};

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}
std::string Format(const char* format, std::optional<double> value) {
  return value ? Format(format, *value) : std::string("n/a");
}
std::optional<double> Difference(std::optional<double> a, std::optional<double> b) {
  if (!a || !b) return std::nullopt;
  return *a - *b;
}
std::optional<double> Ratio(std::optional<double> a, std::optional<double> b) {
  if (!a || !b || *b <= 0) return std::nullopt;
  return *a / *b;
}

// One target: "[held]" or "[missed]" (or "[n/a]" without a figure), the figures, the ratio.
void Verdict(std::optional<double> ratio, bool at_most, double target, const std::string& what) {
  const char* mark = !ratio                                            ? "[n/a]"
                     : (at_most ? *ratio <= target : *ratio >= target) ? "[held]"
                                                                       : "[missed]";
  std::printf("  %-9s %s = %sx (target %s %.2fx)\n", mark, what.c_str(),
              Format("%.2f", ratio).c_str(), at_most ? "<=" : ">=", target);
}

void PrintSummary(const MedianReporter& reporter) {
  std::printf(
      "\nRelay summary (medians of %d interleaved runs of %lld round trips and of %d bulk runs of "
      "%zu MiB; MiB = 2^20 bytes)\n",
      kRoundTripRuns, static_cast<long long>(kRoundTrips), kRuns, kBulkBytes >> 20);
  std::printf("  round trip      %10s %10s %14s\n", "p50 us", "p99 us", "added p50 us");
  for (std::size_t size : {std::size_t{1}, std::size_t{100}}) {
    const auto direct = reporter.Figure(RoundTripName(Path::kDirect, size), "p50_us");
    for (Path path : kPaths) {
      const std::string name = RoundTripName(path, size);
      const auto p50 = reporter.Figure(name, "p50_us");
      std::printf("  %4zu B %-8s %10s %10s %14s\n", size, PathName(path),
                  Format("%.1f", p50).c_str(),
                  Format("%.1f", reporter.Figure(name, "p99_us")).c_str(),
                  Format("%.1f", Difference(p50, direct)).c_str());
    }
  }
  std::printf("  bulk            %10s %34s\n", "MiB/s", "MiB per CPU second of the relay");
  for (Path path : kPaths) {
    std::printf("  %-15s %10s %34s\n", PathName(path),
                Format("%.1f", reporter.Figure(BulkName(path), "MiB_per_s")).c_str(),
                Format("%.1f", reporter.Figure(BulkName(path), "MiB_per_cpu_s")).c_str());
  }
  std::printf("  the tap's work alone (one thread, no sockets) %s MiB/s\n",
              Format("%.1f", reporter.Figure(kTapChainName, "MiB_per_s")).c_str());
  const CompressedStream& stream = SharedPaths().Stream();
  const double held = static_cast<double>(stream.speech_packets) /
                      (static_cast<double>(stream.bytes.size()) / (1 << 20));
  std::printf("  the tap decoded %s speech lines per MiB (the stream holds %.0f)\n",
              Format("%.0f", reporter.Figure(BulkName(Path::kTap), "lines_per_MiB")).c_str(), held);

  std::printf("Relay targets\n");
  for (std::size_t size : {std::size_t{1}, std::size_t{100}}) {
    const auto direct = reporter.Figure(RoundTripName(Path::kDirect, size), "p50_us");
    const auto socat =
        Difference(reporter.Figure(RoundTripName(Path::kSocat, size), "p50_us"), direct);
    for (Path path : {Path::kTap, Path::kPlain}) {
      const auto added = Difference(reporter.Figure(RoundTripName(path, size), "p50_us"), direct);
      Verdict(Ratio(added, socat), true, kAddedLatencyTarget,
              "added p50 latency, " + std::to_string(size) + " B, " + PathName(path) + ": " +
                  Format("%.1f", added) + " us vs socat " + Format("%.1f", socat) + " us");
    }
  }
  const auto tap = reporter.Figure(BulkName(Path::kTap), "MiB_per_s");
  Verdict(Ratio(tap, kBulkTapTarget), false, 1.0,
          "bulk with the tap decoding: " + Format("%.1f", tap) + " MiB/s vs " +
              Format("%.0f", kBulkTapTarget) + " MiB/s");
  const auto tap_cpu = reporter.Figure(BulkName(Path::kTap), "MiB_per_cpu_s");
  std::printf(
      "            (per CPU second of the relay's worker: %s MiB = %sx of the target; the\n"
      "            wall-clock figure above is lower whenever the worker shares a core)\n",
      Format("%.1f", tap_cpu).c_str(), Format("%.2f", Ratio(tap_cpu, kBulkTapTarget)).c_str());
  const auto plain = reporter.Figure(BulkName(Path::kPlain), "MiB_per_s");
  const auto socat = reporter.Figure(BulkName(Path::kSocat), "MiB_per_s");
  Verdict(Ratio(plain, socat), false, kBulkPlainTarget,
          "bulk plain: " + Format("%.1f", plain) + " MiB/s vs socat " + Format("%.1f", socat) +
              " MiB/s");
  for (const auto& [name, message] : reporter.errors) {
    std::printf("  [error]   %s: %s\n", name.c_str(), message.c_str());
  }
}

}  // namespace
}  // namespace velmor::bench

int main(int argc, char** argv) {
  // Interleave the runs of all paths unless the caller chose otherwise.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  velmor::bench::RegisterAll();
  velmor::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  velmor::bench::PrintSummary(reporter);
  velmor::bench::shared_paths.reset();
  velmor::WaitForRelayThreads(std::chrono::seconds(10));
  benchmark::Shutdown();
  return 0;
}
