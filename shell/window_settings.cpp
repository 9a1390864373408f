#include "shell/window_settings.h"

#include <utility>

namespace velmor {

bool WindowSettings::Load(const std::filesystem::path& file, std::vector<std::string> defaults) {
  auto lines = ReadSettingsFile(file);
  if (!lines) {
    lines_ = std::move(defaults);
    return false;
  }
  lines_ = std::move(*lines);
  // A truncated or hand-edited file must not keep the program from starting.
  PadSettingsLines(lines_, defaults);
  return true;
}

bool WindowSettings::Save(const std::filesystem::path& file, const WindowState& state) {
  if (lines_.size() < kSettingsLineCount) lines_.resize(kSettingsLineCount);
  lines_[kClientPortLine] = state.client_port;
  lines_[kServerIpLine] = state.server_ip;
  lines_[kServerPortLine] = state.server_port;
  lines_[kRelayStateLine] = state.running ? kRelayStart : kRelayStop;
  // "Hide" only for a running relay: a stopped one always comes back with its window.
  lines_[kWindowStateLine] = state.running && !state.shown ? kWindowHide : kWindowShow;
  lines_[kAnimationLine] = state.animated ? kAnimationOn : kAnimationOff;
  return WriteSettingsFile(lines_, file);
}

}  // namespace velmor
