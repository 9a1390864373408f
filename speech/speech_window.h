#pragma once

#include <cstdint>
#include <string>

#include "speech/log_line.h"

namespace velmor {

// What the packet interpreter needs of the main window. Called on the relay worker that
// decodes the stream; an implementation hands the effects to the main thread in order and
// never waits for it.
class SpeechWindow {
 public:
  virtual ~SpeechWindow() = default;
  // The colour of a hue from the hue file (black when unavailable).
  virtual TColor GetHueColor(int hue) = 0;
  // The current local time in the locale's long time format.
  virtual std::string TimeText() = 0;
  virtual void AppendLogLine(const LogLine& line) = 0;
  virtual void PlayMusicFile(const std::string& name) = 0;
  virtual void PlaySoundFile(const std::string& name) = 0;
};

}  // namespace velmor
