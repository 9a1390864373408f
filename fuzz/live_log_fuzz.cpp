// Recovery's reader over any file found under a live log file's name: a foreign editor's
// changes, disk damage, a cut-short write. Whatever the bytes, it must not fail; it must find
// the same whether it reads the file in small pieces or large ones; and the log it recovers
// must read back as itself, so that a recovered file recovers to the same file.
//
// Input: one byte for the piece size (1 to 64), then the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "speech/conversation_log.h"
#include "speech/live_log_recovery.h"
#include "speech/rtf_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece_size = 1 + data[0] % 64;
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);

  const velmor::LiveLogContent whole = velmor::ReadLiveLogFile(file);
  const velmor::LiveLogContent pieces = velmor::ReadLiveLogFile(file, piece_size);
  FUZZ_CHECK(pieces.header_read == whole.header_read);
  FUZZ_CHECK(pieces.lines == whole.lines);
  FUZZ_CHECK(pieces.newest_line_time == whole.newest_line_time);
  FUZZ_CHECK(pieces.damaged == whole.damaged);
  if (!whole.header_read) return 0;

  const velmor::RtfFont font{velmor::ConversationLog::kFontName,
                             velmor::ConversationLog::kFontPoints};
  const std::string recovered = velmor::RtfDocument(whole.lines, font);
  const velmor::LiveLogContent again = velmor::ReadLiveLogFile(recovered, piece_size);
  FUZZ_CHECK(again.header_read && !again.damaged);
  FUZZ_CHECK(again.lines.size() == whole.lines.size());
  FUZZ_CHECK(velmor::RtfDocument(again.lines, font) == recovered);
  return 0;
}
