#pragma once

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
// the lines up to the last complete one.
struct LiveLogContent {
  bool header_read = false;  // the file begins as a live log file does
  std::vector<LogLine> lines;
  std::optional<std::time_t> newest_line_time;  // unless the file was cut short
};

LiveLogContent ReadLiveLogFile(std::string_view rtf);

// Turns each live log file in the folder (empty: the working directory) that no running
// process holds into a log file, as the exit would have written it but without the end
// line, named by the time of its newest line (the file's own time when that was cut off),
// and removes it. A file that is not worth a log file is only removed; one that does not
// read as a live log file is kept as it is under the log file name. Returns the log files
// written. A file that cannot be recovered (say the folder has become read-only) stays for
// the next start; nothing is reported.
std::vector<std::string> RecoverLiveLogFiles(const std::filesystem::path& folder);

}  // namespace velmor
