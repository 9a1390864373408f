#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "speech/speech_window.h"

namespace velmor::testing {

// Remembers what the interpreter asked of the main window, in order. The time text is
// always "12:34:56" and a hue's colour is ColorOf(hue). One thread at a time.
class RecordingSpeechWindow : public SpeechWindow {
 public:
  struct Effect {
    enum Kind { kLine, kMusic, kSound } kind = kLine;
    LogLine line;      // kLine
    std::string name;  // kMusic, kSound

    bool operator==(const Effect&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Effect& effect) {
      static const char* const kKinds[] = {"line", "music", "sound"};
      os << kKinds[effect.kind] << "{";
      if (effect.kind == kLine) {
        os << '"' << effect.line.text << "\" color " << std::hex << effect.line.color << std::dec
           << " style " << static_cast<int>(effect.line.style);
      } else {
        os << '"' << effect.name << '"';
      }
      return os << "}";
    }
  };

  static constexpr TColor ColorOf(int hue) { return 0xA00000u | static_cast<TColor>(hue); }

  static Effect Line(std::string text, int hue, LogStyle style = LogStyle::kRegular) {
    return {Effect::kLine, LogLine{std::move(text), ColorOf(hue), style}, {}};
  }
  static Effect Music(std::string name) { return {Effect::kMusic, {}, std::move(name)}; }
  static Effect Sound(std::string name) { return {Effect::kSound, {}, std::move(name)}; }

  TColor GetHueColor(int hue) override {
    hues.push_back(hue);
    return ColorOf(hue);
  }
  std::string TimeText() override { return "12:34:56"; }
  void AppendLogLine(const LogLine& line) override { effects.push_back({Effect::kLine, line, {}}); }
  void PlayMusicFile(const std::string& name) override {
    effects.push_back({Effect::kMusic, {}, name});
  }
  void PlaySoundFile(const std::string& name) override {
    effects.push_back({Effect::kSound, {}, name});
  }

  std::vector<Effect> effects;
  std::vector<int> hues;  // every hue whose colour was asked for
};

}  // namespace velmor::testing
