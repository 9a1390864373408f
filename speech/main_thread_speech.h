#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "speech/conversation_log.h"
#include "speech/hue_table.h"
#include "speech/media_triggers.h"
#include "speech/speech_window.h"

namespace velmor {

// The interpreter's window as relay workers see it: colours straight from the hue table and
// the time from the clock, on the worker; every effect (a line, a music or sound request)
// goes to the main thread in order, where it reaches the log and the players. Effects wait
// in one outbox, which a single posted task empties, so a burst of lines costs one task
// and little memory while the main thread catches up. Effects that reach the main thread
// after Close() are dropped.
class MainThreadSpeech : public SpeechWindow {
 public:
  // Everything given must outlive this object; the dispatcher's tasks may outlive it.
  MainThreadSpeech(Dispatcher& dispatcher, const HueTable& hues, ConversationLog& log,
                   MediaTriggers& media);
  ~MainThreadSpeech() override { Close(); }
  MainThreadSpeech(const MainThreadSpeech&) = delete;
  MainThreadSpeech& operator=(const MainThreadSpeech&) = delete;

  // Main thread: effects still on their way are dropped from now on.
  void Close() { outbox_->speech.store(nullptr); }

  // Any thread.
  TColor GetHueColor(int hue) override { return hues_.GetHueColor(hue); }
  std::string TimeText() override;
  void AppendLogLine(const LogLine& line) override;
  void PlayMusicFile(const std::string& name) override;
  void PlaySoundFile(const std::string& name) override;

 private:
  enum class Kind : std::uint8_t { kLine, kMusic, kSound };
  // A line, or a music or sound file's name in `line.text`.
  struct Effect {
    Kind kind;
    LogLine line;
  };
  // Shared with the posted task, which may outlive this object.
  struct Outbox {
    std::mutex mutex;
    std::vector<Effect> effects;
    std::atomic<MainThreadSpeech*> speech;
  };

  // Any thread: queues the effect, and posts the task that empties the outbox when it was
  // empty.
  void Send(Effect effect);
  // Main thread.
  static void Deliver(Outbox& outbox);

  Dispatcher& dispatcher_;
  const HueTable& hues_;
  ConversationLog& log_;
  MediaTriggers& media_;
  std::shared_ptr<Outbox> outbox_;
};

}  // namespace velmor
