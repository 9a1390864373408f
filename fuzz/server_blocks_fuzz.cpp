// Server-to-client blocks of one or two relayed connections, interleaved, through the main
// window's decoding path (DecodingSessions, as the tap's send and disconnect events call it).
// Whatever a server sends:
// - every block reaches the client as it came, a login redirect rewritten in place;
// - the window is asked for exactly the effects that a plain reading of the stream gives
//   (fuzz/stream_model.h), in order: nothing lost, nothing made up, whatever the blocks'
//   sizes and cuts, and one connection's bytes never change what the other one logs;
// - on their own, too: every log line is the time, a name of at most 30 bytes and a text,
//   and a played file's name, made only of what the connection's stream carried (ASCII
//   speech as Windows-1252 bytes, Unicode speech as UTF-16 units), no longer than that
//   stream; a line's colour is the colour of the hue asked for it;
// - closing a connection drops its state.
//
// Input: records. A record's first byte says: bit 0 which connection; bits 1-3 all set: the
// connection closes, nothing follows. Otherwise a block follows: bit 5 set: a repeat count
// less one in the next byte; then its length in the next byte (bit 4 set: in the next two,
// high byte first); then its bytes, fewer if the input ends, repeated as often as the count
// says (so that small inputs make blocks past the tap's window and the frame buffer).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoding/decoding_sessions.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/stream_model.h"
#include "speech/speech_packets.h"

namespace velmor::fuzzing {
namespace {

constexpr int kConnections = 2;
constexpr std::size_t kNameField = 30;
// Repeated blocks are cut here: past the window and far past a relay's largest receive.
constexpr std::size_t kLargestBlock = 131072;
// All blocks of one input together, so that inputs of many large blocks stay quick.
constexpr std::size_t kMostBytesPerInput = 300000;

// The main window's side of the interpreter, checking each effect against the stream.
class CheckingWindow : public SpeechWindow {
 public:
  TColor GetHueColor(int hue) override {
    FUZZ_CHECK(hue >= 0 && hue <= 0xFFFF);
    hue_ = hue;
    return ColorOfHue(hue);
  }

  std::string TimeText() override { return kTime; }

  void AppendLogLine(const LogLine& line) override {
    FUZZ_CHECK(hue_ >= 0 && line.color == ColorOfHue(hue_));
    hue_ = -1;
    FUZZ_CHECK(line.style != LogStyle::kBoldItalic);
    FUZZ_CHECK(IsSpeechLine(line));
    effects.push_back("line " + std::to_string(line.color) + " " +
                      std::to_string(static_cast<int>(line.style)) + " " + line.text);
  }

  void PlayMusicFile(const std::string& name) override {
    CheckFileName(name);
    effects.push_back("music " + name);
  }

  void PlaySoundFile(const std::string& name) override {
    CheckFileName(name);
    effects.push_back("sound " + name);
  }

  StreamModel* model = nullptr;
  std::vector<std::string> effects;

 private:
  bool FromStream(const std::string& text) const {
    return text.find('\0') == std::string::npos &&
           text.size() <= 3 * model->Sent() * kMostDecodedPerByte && model->Carries(text);
  }

  // "<time> [<name>] <text>": some split of the line must give a name of at most 30 bytes
  // and a text, both from the stream, and the italic look exactly for the name "System...".
  bool IsSpeechLine(const LogLine& line) const {
    const std::string head = std::string(kTime) + " [";
    const std::string& text = line.text;
    if (text.compare(0, head.size(), head) != 0) return false;
    // A Windows-1252 byte or a UTF-16 unit is at most three bytes of UTF-8.
    if (text.size() > head.size() + 3 * kNameField + 2 + 3 * model->Size()) return false;
    for (std::size_t k = 0; k <= 3 * kNameField && head.size() + k + 2 <= text.size(); ++k) {
      if (text.compare(head.size() + k, 2, "] ") != 0) continue;
      const std::string name = text.substr(head.size(), k);
      const bool system = name.compare(0, 6, "System") == 0;
      if ((line.style == LogStyle::kItalic) == system && FromStream(name) &&
          FromStream(text.substr(head.size() + k + 2))) {
        return true;
      }
    }
    return false;
  }

  void CheckFileName(const std::string& name) {
    FUZZ_CHECK(hue_ < 0);  // a played file asks for no colour
    FUZZ_CHECK(FromStream(name));
  }

  int hue_ = -1;
};

struct Record {
  int connection = 0;
  bool closes = false;
  Bytes block;
};

std::vector<Record> ReadRecords(const std::uint8_t* data, std::size_t size) {
  std::vector<Record> records;
  std::size_t pos = 0;
  std::size_t total = 0;
  while (pos < size && total < kMostBytesPerInput) {
    const std::uint8_t head = data[pos++];
    Record record;
    record.connection = head & 1;
    record.closes = (head & 0x0E) == 0x0E;
    if (!record.closes) {
      std::size_t repeat = 1;
      if ((head & 0x20) != 0 && pos < size) repeat = data[pos++] + 1u;
      std::size_t length = 0;
      const std::size_t length_bytes = (head & 0x10) != 0 ? 2 : 1;
      for (std::size_t i = 0; i < length_bytes && pos < size; ++i)
        length = length * 256 + data[pos++];
      length = std::min(length, size - pos);
      for (std::size_t i = 0; i < repeat && record.block.size() < kLargestBlock; ++i) {
        record.block.insert(record.block.end(), data + pos, data + pos + length);
      }
      record.block.resize(
          std::min({record.block.size(), kLargestBlock, kMostBytesPerInput - total}));
      total += record.block.size();
      pos += length;
    }
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace
}  // namespace velmor::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmor;
  using namespace velmor::fuzzing;
  DecodingSessions sessions;
  std::vector<StreamModel> models(kConnections);
  std::vector<CheckingWindow> windows(kConnections);
  // Per connection: the window's effects before its model began, and those checked.
  std::vector<std::size_t> before_model(kConnections);
  std::vector<std::size_t> checked(kConnections);
  std::vector<bool> has_state(kConnections);
  for (int c = 0; c < kConnections; ++c) windows[c].model = &models[c];

  for (const Record& record : ReadRecords(data, size)) {
    const int c = record.connection;
    if (record.closes) {
      sessions.Forget(ConnectionId(c));
      models[c] = StreamModel();
      before_model[c] = windows[c].effects.size();
      has_state[c] = false;
    } else {
      const Bytes expected_block = models[c].Add(record.block);
      Bytes block = record.block;
      SpeechPackets sink(windows[c]);
      sessions.HandleServerBlock(ConnectionId(c), block, kClientPort, sink);
      FUZZ_CHECK(block == expected_block);
      has_state[c] = true;
      // Exactly the effects the model found, in its order: nothing lost, nothing made up.
      const std::vector<std::string>& effects = windows[c].effects;
      const std::vector<std::string>& expected = models[c].Expected();
      FUZZ_CHECK(effects.size() - before_model[c] == expected.size());
      for (; checked[c] < effects.size(); ++checked[c]) {
        FUZZ_CHECK(effects[checked[c]] == expected[checked[c] - before_model[c]]);
      }
    }
    FUZZ_CHECK(sessions.Count() ==
               static_cast<std::size_t>(std::count(has_state.begin(), has_state.end(), true)));
  }
  // Every client connection closes in the end, and takes its state with it.
  for (int c = 0; c < kConnections; ++c) sessions.Forget(ConnectionId(c));
  FUZZ_CHECK(sessions.Count() == 0);
  return 0;
}
