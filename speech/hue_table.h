#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/color.h"

namespace velmor {

// The byte offset of the 88-byte hue-file entry that describes a hue: entries are counted
// from hue 1, eight to a group, each group led by a 4-byte header. Hue 0 gives -84, a
// position no file has. Computed in 64 bits so that any int is safe.
std::int64_t HueEntryOffset(int hue);

// A 15-bit hue-file colour (red in bits 14-10, green 9-5, blue 4-0; bit 15 and above
// ignored) as an RGB colour. Five-bit components become 0-240 in steps of 8, except that a
// colour with any component at 31 is dimmed as a whole to 0-60 in steps of 4.
TColor HueToRgb(int value);

// Colours of hues read from the game's hue file. Nothing of the file is kept: every lookup
// opens the file, reads one entry and closes it, so a file replaced while the program runs
// takes effect with the next lookup. Only a regular file counts: a FIFO or a device of that
// name is no hue file and is never waited for.
//
// Threads: ProbeHueFile belongs to the main thread and is called once at start-up.
// GetHueColor may run on any number of threads at once; it shares nothing but the flag.
class HueTable {
 public:
  // The file is named (Windows-1252, like every name) relative to the working directory
  // unless a path is given.
  explicit HueTable(std::string file_name = "hues.mul");

  // True when the file can be opened for binary reading now; the result becomes
  // HueFileAvailable for the rest of the run. A file missing here keeps every colour black
  // even if it appears later.
  bool ProbeHueFile();
  bool HueFileAvailable() const { return available_.load(std::memory_order_acquire); }
  // The whole entries the file held at the probe; main thread. Each gives at most one
  // colour, so with black they bound the colours the log's lines can have while the file
  // stays as it was.
  std::size_t EntryCount() const { return entries_; }

  // The colour of a hue as the packet carries it (0-65535). Black when the probe failed,
  // when the file cannot be opened now, or when the hue's 88-byte entry is not wholly inside
  // the file. Hue 0 (and any hue whose offset is negative) reads the entry at the file's
  // start, because positioning before the start fails and leaves the file there.
  TColor GetHueColor(int hue) const;

  const std::string& FileName() const { return file_name_; }

 private:
  std::string file_name_;
  std::filesystem::path path_;
  // Set once by the probe; atomic because the relay may already run when the probe is made.
  std::atomic<bool> available_{false};
  std::size_t entries_ = 0;
};

}  // namespace velmor
