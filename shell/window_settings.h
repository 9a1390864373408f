#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/settings_file.h"

namespace velmor {

// What the main window keeps of itself at exit.
struct WindowState {
  std::string client_port;
  std::string server_ip;
  std::string server_port;
  bool running = false;
  bool shown = true;  // visible and not minimised
  bool animated = true;
};

// The settings lines as the main window reads them at start-up and writes them at exit.
// Lines beyond the six are kept as they were read. Main thread only.
class WindowSettings {
 public:
  // Reads the file. Without a readable file the defaults stand and the result is false; a
  // file of fewer than six lines is completed from the defaults.
  bool Load(const std::filesystem::path& file, std::vector<std::string> defaults);

  // Line `index` (kClientPortLine ... kAnimationLine) as read.
  const std::string& Line(std::size_t index) const { return lines_.at(index); }
  bool StartRelay() const { return Line(kRelayStateLine) == kRelayStart; }
  bool StartHidden() const { return Line(kWindowStateLine) == kWindowHide; }
  bool Animated() const { return Line(kAnimationLine) == kAnimationOn; }

  // Writes the window's state into the six lines and saves every line; false when the file
  // could not be written (the old one is then unchanged).
  bool Save(const std::filesystem::path& file, const WindowState& state);

 private:
  std::vector<std::string> lines_;
};

}  // namespace velmor
