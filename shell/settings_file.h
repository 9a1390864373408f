#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings file "Velmor.ini": a list of Windows-1252 lines without sections or keys, each
// setting known only by its line number. Reading and writing happen on the main thread, at
// start-up and at exit; nothing else touches the file.
namespace velmor {

// A bare name, resolved against the working directory at the moment of each read or write.
inline constexpr char kSettingsFileName[] = "Velmor.ini";

// The six positional lines (zero-based positions in the list).
inline constexpr std::size_t kSettingsLineCount = 6;
inline constexpr std::size_t kClientPortLine = 0;
inline constexpr std::size_t kServerIpLine = 1;
inline constexpr std::size_t kServerPortLine = 2;
inline constexpr std::size_t kRelayStateLine = 3;
inline constexpr std::size_t kWindowStateLine = 4;
inline constexpr std::size_t kAnimationLine = 5;

// The words of lines 4 to 6. Only an exact, case-sensitive match counts when read.
inline constexpr char kRelayStart[] = "Start";
inline constexpr char kRelayStop[] = "Stop";
inline constexpr char kWindowHide[] = "Hide";
inline constexpr char kWindowShow[] = "Show";
inline constexpr char kAnimationOn[] = "Anim";
inline constexpr char kAnimationOff[] = "NoAnim";

// Splits file content into lines: CR LF, a lone CR and a lone LF each end a line; a NUL byte
// ends the text; a last line without a break counts; a break at the very end adds no empty
// line. Nothing is trimmed.
std::vector<std::string> SplitSettingsText(std::string_view text);

// Every line followed by CR LF, the last one included.
std::string JoinSettingsLines(const std::vector<std::string>& lines);

// No settings file is this long; what lies beyond is not read.
inline constexpr std::size_t kMostSettingsBytes = 1 << 20;

// Reads and splits the file (at most kMostSettingsBytes of it). nullopt when it cannot be
// opened or read, whatever the reason (missing, a directory, a FIFO or a device, no
// permission, a read error).
std::optional<std::vector<std::string>> ReadSettingsFile(
    const std::filesystem::path& path = kSettingsFileName);

// Writes every line, each followed by CR LF. The old file is replaced only once the new
// content is complete and flushed to disk (a temporary file beside it, renamed into place),
// so a failed save never leaves a truncated file; it keeps the old file's permissions, and
// a read-only file is not replaced. Returns false on any failure, after removing the
// temporary file; the old file, if any, is then unchanged. Never throws.
bool WriteSettingsFile(const std::vector<std::string>& lines,
                       const std::filesystem::path& path = kSettingsFileName);

// The six lines used when there is no readable file: the three relay fields' current texts,
// then "Stop", "Show" and "Anim".
std::vector<std::string> DefaultSettingsLines(const std::string& client_port,
                                              const std::string& server_ip,
                                              const std::string& server_port);

// Appends the defaults for the positions a short list lacks, so that a file of fewer than
// six lines cannot stop the start-up. Lines present keep their text, even when empty;
// lines beyond the defaults are kept as they are.
void PadSettingsLines(std::vector<std::string>& lines, const std::vector<std::string>& defaults);

}  // namespace velmor
