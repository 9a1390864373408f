// The server stream's decoding: the table-driven Huffman decoder against the bit-by-bit
// reference on the same compressed traffic, and the whole chain from the tap to the
// interpreter per MB of typical game traffic.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/game_stream.h"
#include "decoding/decoding_sessions.h"
#include "decoding/uo_huffman.h"
#include "relay/log_event.h"
#include "speech/speech_packets.h"
#include "tests/support/fake_connections.h"
#include "tests/support/reference_decoder.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kTrafficBytes = 1 << 20;  // compressed

// About kTrafficBytes of compressed game traffic, cut into blocks of a relay read's typical
// size.
std::vector<Bytes> TrafficBlocks() {
  const Bytes stream = bench::MakeCompressedStream(kTrafficBytes, 2592, 10).bytes;
  std::mt19937 random(2592);
  std::vector<Bytes> blocks;
  for (std::size_t pos = 0; pos < stream.size();) {
    const std::size_t size = std::min<std::size_t>(stream.size() - pos, 64 + random() % 4000);
    blocks.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                        stream.begin() + static_cast<std::ptrdiff_t>(pos + size));
    pos += size;
  }
  return blocks;
}

const std::vector<Bytes>& Traffic() {
  static const std::vector<Bytes> blocks = TrafficBlocks();
  return blocks;
}

std::int64_t TrafficSize() {
  std::int64_t size = 0;
  for (const Bytes& block : Traffic()) size += static_cast<std::int64_t>(block.size());
  return size;
}

template <typename Decoder>
void DecodeTraffic(benchmark::State& state) {
  std::vector<std::uint8_t> out(250000);
  for (auto _ : state) {
    Decoder decoder;
    for (const Bytes& block : Traffic()) {
      auto out_len = static_cast<std::int32_t>(out.size());
      auto in_len = static_cast<std::int32_t>(block.size());
      decoder.copy(out.data(), block.data(), out_len, in_len);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * TrafficSize());
}

void BM_FastDecoder(benchmark::State& state) {
  DecodeTraffic<DecompressingCopier>(state);
}
void BM_ReferenceDecoder(benchmark::State& state) {
  DecodeTraffic<testing::ReferenceDecoder>(state);
}
BENCHMARK(BM_FastDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceDecoder)->Unit(benchmark::kMillisecond);

// Takes everything and keeps nothing.
class NullWindow : public SpeechWindow {
 public:
  TColor GetHueColor(int) override { return clBlack; }
  std::string TimeText() override { return "12:34:56"; }
  void AppendLogLine(const LogLine& line) override { lines += !line.text.empty(); }
  void PlayMusicFile(const std::string&) override {}
  void PlaySoundFile(const std::string&) override {}
  std::int64_t lines = 0;
};

// Tap, per-connection decoding, framing and interpreting, one pass per connection.
void BM_WholeChain(benchmark::State& state) {
  TIdLogEvent tap;
  DecodingSessions sessions;
  NullWindow window;
  SpeechPackets sink(window);
  tap.OnSend = [&](TIdConnectionIntercept&, TIdTCPConnection& connection, TMemoryStream& block) {
    sessions.HandleServerBlock(ConnectionIdOf(connection), block.data, 2592, sink);
  };
  tap.OnDisconnect = [&](TIdConnectionIntercept&, TIdTCPConnection& connection) {
    sessions.Forget(ConnectionIdOf(connection));
  };
  tap.Active = true;
  testing::FakeConnections connections;
  // The relay hands over a stream per block; compressed blocks come back unchanged.
  std::vector<TMemoryStream> streams;
  for (const Bytes& block : Traffic()) streams.push_back({block, 0});
  for (auto _ : state) {
    for (TMemoryStream& stream : streams) tap.Send(connections[0], stream);
    tap.Disconnect(connections[0]);
  }
  state.SetBytesProcessed(state.iterations() * TrafficSize());
  const double megabytes = static_cast<double>(TrafficSize()) / (1 << 20);
  state.counters["lines_per_MB"] =
      static_cast<double>(window.lines) / static_cast<double>(state.iterations()) / megabytes;
  state.counters["time_per_MB"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * megabytes,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMillisecond);

// The console report, plus the fast decoder's speed over the reference's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) speeds[run.benchmark_name()] = rate->second.value;
    }
  }
  std::map<std::string, double> speeds;
};

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  velmor::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // With repetitions, compare the medians.
  auto speed = [&](const std::string& name) {
    auto found = reporter.speeds.find(name + "_median");
    if (found == reporter.speeds.end()) found = reporter.speeds.find(name);
    return found == reporter.speeds.end() ? 0.0 : found->second;
  };
  const double fast = speed("BM_FastDecoder");
  const double reference = speed("BM_ReferenceDecoder");
  if (fast > 0 && reference > 0) {
    std::printf("Fast decoder %.1f MB/s, reference %.1f MB/s of compressed input: %.1fx faster\n",
                fast / (1 << 20), reference / (1 << 20), fast / reference);
  }
  benchmark::Shutdown();
  return 0;
}
