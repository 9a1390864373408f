// Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/: small, typical
// inputs from which the fuzzers reach the interesting paths quickly (a whole login stage, a
// compressed game stream with every kind of speech, hue files with colours, ...).
//   velmor_make_fuzz_seeds <repository>/fuzz/corpus
// Run by hand when a target's input format changes; the seeds are committed.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "speech/conversation_log.h"
#include "speech/live_log_file.h"
#include "speech/rtf_writer.h"
#include "tests/support/huffman_encoder.h"
#include "tests/support/speech_packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using velmor::testing::AsciiSpeech;
using velmor::testing::Compress;
using velmor::testing::Concat;
using velmor::testing::FixedPacket;
using velmor::testing::HuffmanEncoder;
using velmor::testing::UnicodeSpeech;

void Write(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
  std::filesystem::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The bytes of a literal, NULs included.
template <std::size_t N>
Bytes FromText(const char (&text)[N]) {
  return Bytes(text, text + N - 1);
}

// server_blocks records: a block of `connection`, or its close.
class Records {
 public:
  void Block(int connection, const Bytes& block) {
    if (block.size() > 255) {
      bytes_.push_back(static_cast<std::uint8_t>(connection | 0x10));
      bytes_.push_back(static_cast<std::uint8_t>(block.size() >> 8));
    } else {
      bytes_.push_back(static_cast<std::uint8_t>(connection));
    }
    bytes_.push_back(static_cast<std::uint8_t>(block.size()));
    bytes_.insert(bytes_.end(), block.begin(), block.end());
  }
  // The stream cut into blocks of `size` bytes.
  void Blocks(int connection, const Bytes& stream, std::size_t size) {
    for (std::size_t at = 0; at < stream.size(); at += size) {
      const std::size_t end = std::min(stream.size(), at + size);
      Block(connection, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                              stream.begin() + static_cast<std::ptrdiff_t>(end)));
    }
  }
  // `unit` (at most 65535 bytes) sent `repeat` (1 to 256) times over in one block.
  void RepeatedBlock(int connection, const Bytes& unit, int repeat) {
    bytes_.push_back(static_cast<std::uint8_t>(connection | 0x30));
    bytes_.push_back(static_cast<std::uint8_t>(repeat - 1));
    bytes_.push_back(static_cast<std::uint8_t>(unit.size() >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(unit.size()));
    bytes_.insert(bytes_.end(), unit.begin(), unit.end());
  }
  void Close(int connection) { bytes_.push_back(static_cast<std::uint8_t>(connection | 0x0E)); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

Bytes ServerList() {
  Bytes packet(46, 0x41);
  packet[0] = 0xA8;
  packet[1] = 0;
  packet[2] = 46;  // 6 + 40 * 1
  packet[4] = 0;
  packet[5] = 1;
  return packet;
}

const Bytes kRedirect = {0x8C, 0xC0, 0xA8, 0x00, 0x07, 0x0A, 0x21, 0x11, 0x22, 0x33, 0x44};

// A game stream as a server sends it: a stretch per send, every kind of speech.
Bytes GameStream() {
  HuffmanEncoder encoder;
  const std::vector<Bytes> packets = {
      Concat({FixedPacket(0x1B, 37), FixedPacket(0x55, 1)}),
      AsciiSpeech("Aldric", "Sei gegr\xFC\xDFt, Wanderer!", 0, 0x0035),
      AsciiSpeech("System", "Willkommen in Velmor.", 0, 0x03B2),
      AsciiSpeech("System", "~~Music=music/heimat.mid"),
      AsciiSpeech("System", "~~Sound=sounds/glocke.wav"),
      AsciiSpeech("Bryn", "*fl\xFCstert*", 6),
      UnicodeSpeech("Cael", u"Gr\u00FC\u00DF Gott {und} \\ tsch\u00FC\u00DF"),
      UnicodeSpeech("System", u"~~Sound=door.ogg"),
      Concat({FixedPacket(0x77, 17), FixedPacket(0x20, 19)}),
  };
  for (const Bytes& packet : packets) {
    encoder.Put(packet);
    encoder.End();
  }
  return encoder.Take();
}

void ServerBlockSeeds(const std::filesystem::path& folder) {
  const Bytes game = GameStream();
  {
    Records records;  // the whole road: login connection, redirect, game connection
    records.Block(0, ServerList());
    records.Block(0, kRedirect);
    records.Close(0);
    records.Blocks(1, game, 97);
    records.Close(1);
    Write(folder, "login_then_game", records.bytes());
  }
  {
    Records records;  // a login whose answers come in pieces: header, list, redirect cut
    records.Blocks(0, ServerList(), 4);
    records.Blocks(0, kRedirect, 3);
    records.Blocks(1, Concat({ServerList(), AsciiSpeech("Aldric", "im Klartext")}), 30);
    Write(folder, "login_cut", records.bytes());
  }
  {
    Records records;  // two clients at once, their blocks cut mid-code and mid-packet
    for (std::size_t at = 0; at < game.size(); at += 23) {
      const auto piece = [&](std::size_t from, std::size_t size) {
        const std::size_t end = std::min(game.size(), from + size);
        return Bytes(game.begin() + static_cast<std::ptrdiff_t>(std::min(from, end)),
                     game.begin() + static_cast<std::ptrdiff_t>(end));
      };
      records.Block(0, piece(at, 23));
      records.Block(1, piece(at / 2, 11));
    }
    Write(folder, "two_clients", records.bytes());
  }
  {
    Records records;  // one game stream in one block
    records.Block(0, game);
    Write(folder, "one_block", records.bytes());
  }
  {
    Records records;  // blocks past the tap's window, decoded in more than one round
    records.RepeatedBlock(0, Bytes(512, 0x00), 256);
    records.RepeatedBlock(1, game, 60);
    records.Block(0, Compress(AsciiSpeech("Aldric", "danach")));
    Write(folder, "large_blocks", records.bytes());
  }
  {
    Records records;  // plain speech in the login stage, a connection closed mid-stream
    records.Block(0, Concat({ServerList(), AsciiSpeech("Aldric", "im Klartext")}));
    records.Blocks(1, game, 40);
    records.Close(1);
    records.Block(1, Compress(AsciiSpeech("Bryn", "neu")));
    Write(folder, "plain_and_close", records.bytes());
  }
}

void HuffmanSeeds(const std::filesystem::path& folder) {
  Write(folder, "game_stream", GameStream());
  Write(folder, "text", Compress(FromText("eat the rest, Ser Knight! And the rest of it.")));
  Write(folder, "zeros", Compress(Bytes(300, 0)));
}

void SettingsSeeds(const std::filesystem::path& folder) {
  Write(folder, "written", FromText("2592\r\n127.0.0.1\r\n2593\r\nStart\r\nHide\r\nNoAnim\r\n"));
  Write(folder, "mixed_breaks", FromText("2592\n127.0.0.1\r2593\r\n\r\nShow\nAnim"));
  Write(folder, "extra_lines",
        FromText("1\r\n2\r\n3\r\nStop\r\nShow\r\nAnim\r\nmehr\r\n\xE4\xF6\xFC"));
  Write(folder, "nul", Bytes{'2', '5', '9', '2', '\r', '\n', 0, 'x', '\r', '\n'});
}

// A hue file of `groups` groups, each entry's colours counting up from its own number,
// followed by the bytes the target reads its hues from.
void HueSeeds(const std::filesystem::path& folder) {
  Bytes file;
  for (int group = 0; group < 3; ++group) {
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(group));
    for (int entry = 0; entry < 8; ++entry) {
      const int number = group * 8 + entry;
      for (int value = 0; value < 32; ++value) {
        const int colour = (number * 1021 + value * 37) & 0x7FFF;
        file.push_back(static_cast<std::uint8_t>(colour));
        file.push_back(static_cast<std::uint8_t>(colour >> 8));
      }
      for (int rest = 0; rest < 24; ++rest) file.push_back(static_cast<std::uint8_t>('a' + rest));
    }
  }
  Write(folder, "three_groups", Concat({file, {0x05, 0x01, 0x11, 0x01, 0x17, 0x01, 0x02}}));
  Write(folder, "cut_entry", Concat({Bytes(file.begin(), file.begin() + 200), {0x02, 0x01, 0x00}}));
  Write(folder, "hue_zero", Concat({Bytes(file.begin(), file.begin() + 90), {0x02, 0x01, 0x00}}));
}

void RtfSeeds(const std::filesystem::path& folder) {
  Write(folder, "plain", FromText("12:34:56 [Aldric] Sei gegr\xFC\xDFt!"));
  Write(folder, "specials", FromText("{\\rtf1 \\par} \\\\ \\'e4 \t tab\r\nbreak\x7F\x80\xFF \\b0"));
  Write(folder, "lines",
        FromText("erste\\\x01\x02\x03\x04\x05zweite\\\x01\x00\x00\x40\x01\x02"
                 "dritte"));
}

// live_log inputs: a piece size, then a live log file as the program leaves it behind.
void LiveLogSeeds(const std::filesystem::path& folder) {
  const velmor::RtfFont font{velmor::ConversationLog::kFontName,
                             velmor::ConversationLog::kFontPoints};
  const std::vector<velmor::LogLine> lines = {
      {"03.02.2026 09:00:00 --- Start Logging ---", velmor::clBlack, velmor::LogStyle::kRegular},
      {"09:00:05 [Aldric] Sei gegr\xC3\xBC\xC3\x9Ft! {\\} \t", 0x00336699,
       velmor::LogStyle::kItalic},
      {"09:00:07 [\xD0\x9C\xD0\xB8\xD1\x80] \xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80", 0x00CC0000,
       velmor::LogStyle::kBoldItalic}};
  velmor::RtfColorTable colors;
  std::string body;
  for (const velmor::LogLine& line : lines) {
    velmor::AppendRtfParagraph(body, line, colors.IndexOf(line.color));
  }
  std::string file = velmor::RtfDocumentStart(font);
  colors.AppendTo(file);
  file.append(200, '\n');
  file += velmor::RtfBodyStart(font) + body;
  file += std::string(velmor::LiveLogFile::kNewestLineGroup) + "1770109207}";
  file += velmor::kRtfDocumentEnd;
  const auto seed = [](char piece_size, const std::string& content) {
    Bytes bytes{static_cast<std::uint8_t>(piece_size)};
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
  };
  Write(folder, "whole", seed(63, file));
  Write(folder, "cut_short", seed(7, file.substr(0, file.size() - 30)));
  std::string damaged = file;
  damaged.replace(damaged.find("Aldric"), 6, "\\zz{");
  Write(folder, "damaged", seed(2, damaged));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " <repository>/fuzz/corpus\n";
    return 2;
  }
  const std::filesystem::path corpus = argv[1];
  ServerBlockSeeds(corpus / "server_blocks");
  HuffmanSeeds(corpus / "huffman");
  SettingsSeeds(corpus / "settings");
  HueSeeds(corpus / "hue_table");
  RtfSeeds(corpus / "rtf_writer");
  LiveLogSeeds(corpus / "live_log");
  return 0;
}
