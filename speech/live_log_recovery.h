#pragma once

#include <atomic>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "speech/log_line.h"

// Live log files (see live_log_file.h) that a run left behind when it ended without its exit
// steps: a crash, a kill, a power cut.
namespace velmor {

// What a live log file holds. A file cut short (a power cut in the middle of a write) gives
// the lines up to the last complete one; a paragraph that does not read (a foreign editor,
// disk damage) is passed over, and the lines after it still count.
struct LiveLogContent {
  bool header_read = false;  // the file begins as a live log file does
  std::vector<LogLine> lines;
  std::optional<std::time_t> newest_line_time;  // unless the file was cut short
  bool damaged = false;                         // something in the middle did not read
};

// Recovery reads a file this much at a time.
inline constexpr std::size_t kRecoveryPieceBytes = 1 << 20;

// Reads the body `piece_size` bytes at a time, as recovery reads a file; what it finds does
// not depend on the size.
LiveLogContent ReadLiveLogFile(std::string_view rtf, std::size_t piece_size = kRecoveryPieceBytes);

// Turns each live log file in the folder (empty: the working directory) that no running
// process holds into a log file, as the exit would have written it but without the end
// line, named by the time of its newest line (the file's own time when that was cut off or
// is no plausible time). Files of any size are read piece by piece, in little memory.
//
// The original is removed only when everything in it was recovered: one with damage in it
// stays beside the recovered log as "<log name>_Original.rtf". A file that is not worth a
// log file is only removed; one that does not read as a live log file at all is kept as it
// is under the log file name. Returns the log files written. A file that cannot be
// recovered (say the folder has become read-only) stays for the next start. Never throws;
// ends early, leaving the file as it was, once `stop` is set.
std::vector<std::string> RecoverLiveLogFiles(const std::filesystem::path& folder,
                                             const std::atomic<bool>* stop = nullptr);

}  // namespace velmor
