#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "speech/conversation_log.h"
#include "speech/live_log_file.h"
#include "speech/rtf_writer.h"

namespace velmor::testing {

// Writes a live log file as the program leaves it behind after a long session: the room for
// the colours of a hue file, then lines of a busy shard's length and mix up to about `bytes`,
// and the newest line's time. Returns the file's size.
inline std::uint64_t WriteLargeLiveLogFile(const std::filesystem::path& path, std::uint64_t bytes) {
  const RtfFont font{ConversationLog::kFontName, ConversationLog::kFontPoints};
  std::ofstream out(path, std::ios::binary);
  RtfColorTable colors;
  const auto color_of = [](int i) { return RGB(i % 60 * 4, 240 - i % 60 * 4, i % 60 * 2); };
  for (int i = 0; i < 60; ++i) colors.IndexOf(color_of(i));
  std::string chunk = RtfDocumentStart(font);
  colors.AppendTo(chunk);
  chunk.append(3001 * RtfColorTable::kLongestEntry, '\n');
  chunk += RtfBodyStart(font);
  std::uint64_t written = 0;
  for (int i = 0; written + chunk.size() < bytes; ++i) {
    const LogLine line{"14:05:" + std::to_string(10 + i % 50) + " [Spieler" +
                           std::to_string(i % 37) + "] Gr\xC3\xBC\xC3\x9F" +
                           "e aus Britain, wer kommt mit? " + std::to_string(i),
                       color_of(i), i % 5 == 0 ? LogStyle::kItalic : LogStyle::kRegular};
    AppendRtfParagraph(chunk, line, colors.Find(line.color));
    if (chunk.size() > (1 << 20)) {
      out << chunk;
      written += chunk.size();
      chunk.clear();
    }
  }
  chunk += std::string(LiveLogFile::kNewestLineGroup) + std::to_string(std::time(nullptr)) + "}" +
           std::string(kRtfDocumentEnd);
  out << chunk;
  return written + chunk.size();
}

}  // namespace velmor::testing
