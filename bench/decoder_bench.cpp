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

#include "decoding/decoding_sessions.h"
#include "decoding/traffic_tap.h"
#include "decoding/uo_huffman.h"
#include "tests/decoding/fake_connections.h"
#include "tests/decoding/huffman_encoder.h"
#include "tests/decoding/reference_decoder.h"
#include "tests/decoding/speech_packets.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kTrafficBytes = 1 << 20;  // compressed

std::string RandomText(std::mt19937& random, int words) {
  static const char* const kWords[] = {"Hallo",
                                       "wer",
                                       "kommt",
                                       "mit",
                                       "nach",
                                       "Britain",
                                       "ich",
                                       "habe",
                                       "Gold",
                                       "Schwert",
                                       "danke",
                                       "gr\xFC\xDF"
                                       "e"};
  std::string text;
  for (int i = 0; i < words; ++i) {
    if (i > 0) text += ' ';
    text += kWords[random() % std::size(kWords)];
  }
  return text;
}

// Builds a packet field by field, big-endian, as the server lays them out.
class PacketWriter {
 public:
  explicit PacketWriter(std::uint8_t id, bool variable) : variable_(variable) {
    bytes_.push_back(id);
    if (variable) Put(0, 2);
  }
  PacketWriter& Put(std::uint32_t value, int size) {
    for (int i = size - 1; i >= 0; --i)
      bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  PacketWriter& Text(const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes_.push_back(i < text.size() ? text[i] : 0);
    return *this;
  }
  Bytes Take() {
    if (variable_) {
      bytes_[1] = static_cast<std::uint8_t>(bytes_.size() >> 8);
      bytes_[2] = static_cast<std::uint8_t>(bytes_.size());
    }
    return std::move(bytes_);
  }

 private:
  bool variable_;
  Bytes bytes_;
};

// What a busy spot sends: mobiles moving and fighting, items, status, sounds, speech.
Bytes RandomSend(std::mt19937& random) {
  auto small = [&](std::uint32_t below) { return static_cast<std::uint32_t>(random() % below); };
  const std::uint32_t mobile = 0x00010000 + small(4000);
  const std::uint32_t x = 1300 + small(200);
  const std::uint32_t y = 1600 + small(200);
  const std::string speaker = "Spieler" + std::to_string(small(30));
  switch (small(20)) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:  // a mobile moves
      return PacketWriter(0x77, false)
          .Put(mobile, 4)
          .Put(0x190 + small(2), 2)
          .Put(x, 2)
          .Put(y, 2)
          .Put(small(20), 1)
          .Put(small(8), 1)
          .Put(small(3) == 0 ? 0x83EA : 0, 2)
          .Put(0, 1)
          .Put(1 + small(6), 1)
          .Take();
    case 6:
    case 7:  // hit points
      return PacketWriter(0xA1, false).Put(mobile, 4).Put(100, 2).Put(small(101), 2).Take();
    case 8:
      return PacketWriter(0x54, false)
          .Put(1, 1)
          .Put(0x23 + small(40), 2)
          .Put(0, 2)
          .Put(x, 2)
          .Put(y, 2)
          .Put(0, 2)
          .Take();
    case 9:
      return PacketWriter(0x6E, false)
          .Put(mobile, 4)
          .Put(small(30), 2)
          .Put(5, 2)
          .Put(1, 2)
          .Put(0, 1)
          .Put(0, 1)
          .Put(0, 1)
          .Take();
    case 10:  // status
      return PacketWriter(0x11, true)
          .Put(mobile, 4)
          .Text(speaker, 30)
          .Put(small(100), 2)
          .Put(100, 2)
          .Put(0, 1)
          .Put(1, 1)
          .Put(small(2), 1)
          .Put(60 + small(40), 2)
          .Put(60 + small(40), 2)
          .Put(60 + small(40), 2)
          .Put(small(100), 2)
          .Put(small(5000), 4)
          .Put(small(60), 2)
          .Put(400, 2)
          .Take();
    case 11: {  // a mobile comes into view with its equipment
      PacketWriter packet(0x78, true);
      packet.Put(mobile, 4)
          .Put(0x190, 2)
          .Put(x, 2)
          .Put(y, 2)
          .Put(0, 1)
          .Put(small(8), 1)
          .Put(0x83EA, 2)
          .Put(0, 1)
          .Put(1, 1);
      for (std::uint32_t item = small(8); item > 0; --item) {
        packet.Put(0x40000000 + small(100000), 4)
            .Put(0x1500 + small(0x200), 2)
            .Put(1 + small(24), 1)
            .Put(small(2) == 0 ? 0 : small(1000), 2);
      }
      return packet.Put(0, 4).Take();
    }
    case 12:  // an item on the ground
      return PacketWriter(0x1A, true)
          .Put(0x40000000 + small(100000), 4)
          .Put(0xEED, 2)
          .Put(1 + small(500), 2)
          .Put(x, 2)
          .Put(y, 2)
          .Put(0, 1)
          .Take();
    case 13: {  // a localized message
      PacketWriter packet(0xC1, true);
      packet.Put(0xFFFFFFFF, 4)
          .Put(0xFFFF, 2)
          .Put(6, 1)
          .Put(0x3B2, 2)
          .Put(3, 2)
          .Put(500000 + small(100000), 4)
          .Text("System", 30);
      return packet.Put(0, 2).Take();
    }
    case 14:
    case 15:
    case 16:
      return testing::AsciiSpeech(speaker, RandomText(random, 2 + static_cast<int>(small(10))), 0,
                                  0x3B2);
    case 17:
      return testing::AsciiSpeech("System", RandomText(random, 3), 0, 0x22);
    default: {
      std::u16string text;
      for (char c : RandomText(random, 2 + static_cast<int>(small(10)))) {
        text += static_cast<unsigned char>(c);
      }
      return testing::UnicodeSpeech(speaker, text, 0, 0x3B2);
    }
  }
}

// About kTrafficBytes of compressed traffic, cut into blocks of a relay read's typical size.
std::vector<Bytes> TrafficBlocks() {
  std::mt19937 random(2592);
  testing::HuffmanEncoder encoder;
  Bytes stream;
  while (stream.size() < kTrafficBytes) {
    for (int packets = 1 + static_cast<int>(random() % 3); packets > 0; --packets) {
      encoder.Put(RandomSend(random));
    }
    encoder.End();
    const Bytes stretch = encoder.Take();
    stream.insert(stream.end(), stretch.begin(), stretch.end());
  }
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
  tap.OnSend = [&](TIdConnectionIntercept&, TIdTCPConnection& connection, TMemoryStream& block) {
    sessions.HandleServerBlock(connection, block, 2592, window);
  };
  tap.OnDisconnect = [&](TIdConnectionIntercept&, TIdTCPConnection& connection) {
    sessions.Forget(connection);
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
