#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "speech/conversation_log.h"
#include "speech/hue_table.h"
#include "speech/media_triggers.h"
#include "speech/speech_window.h"

namespace velmor {

// The interpreter's window as relay workers see it: colours straight from the hue table and
// the time from the clock, on the worker; every effect (a line, a music or sound request)
// posted to the main thread in order, where it reaches the log and the players. Effects
// that reach the main thread after Close() are dropped.
class MainThreadSpeech : public SpeechWindow {
 public:
  // Everything given must outlive this object; the dispatcher's tasks may outlive it.
  MainThreadSpeech(Dispatcher& dispatcher, const HueTable& hues, ConversationLog& log,
                   MediaTriggers& media);
  ~MainThreadSpeech() override { Close(); }
  MainThreadSpeech(const MainThreadSpeech&) = delete;
  MainThreadSpeech& operator=(const MainThreadSpeech&) = delete;

  // Main thread: effects still on their way are dropped from now on.
  void Close() { alive_->store(nullptr); }

  // Any thread.
  TColor GetHueColor(int hue) override { return hues_.GetHueColor(hue); }
  std::string TimeText() override;
  void AppendLogLine(const LogLine& line) override;
  void PlayMusicFile(const std::string& name) override;
  void PlaySoundFile(const std::string& name) override;

 private:
  // Runs `effect` on the main thread with this object, unless it was closed by then.
  template <typename Effect>
  void Post(Effect effect);

  Dispatcher& dispatcher_;
  const HueTable& hues_;
  ConversationLog& log_;
  MediaTriggers& media_;
  std::shared_ptr<std::atomic<MainThreadSpeech*>> alive_;
};

}  // namespace velmor
