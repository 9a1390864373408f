#include "speech/main_thread_speech.h"

#include "platform/time_text.h"

namespace velmor {

MainThreadSpeech::MainThreadSpeech(Dispatcher& dispatcher, const HueTable& hues,
                                   ConversationLog& log, MediaTriggers& media)
    : dispatcher_(dispatcher),
      hues_(hues),
      log_(log),
      media_(media),
      outbox_(std::make_shared<Outbox>()) {
  outbox_->speech.store(this);
}

void MainThreadSpeech::Send(Effect effect) {
  bool was_empty = false;
  {
    const std::lock_guard lock(outbox_->mutex);
    was_empty = outbox_->effects.empty();
    outbox_->effects.push_back(std::move(effect));
  }
  if (was_empty) dispatcher_.Post([outbox = outbox_] { Deliver(*outbox); });
}

void MainThreadSpeech::Deliver(Outbox& outbox) {
  std::vector<Effect> effects;
  {
    const std::lock_guard lock(outbox.mutex);
    effects.swap(outbox.effects);
  }
  for (Effect& effect : effects) {
    MainThreadSpeech* speech = outbox.speech.load();
    if (!speech) return;
    switch (effect.kind) {
      case Kind::kLine:
        speech->log_.AppendLogLine(std::move(effect.line));
        break;
      case Kind::kMusic:
        speech->media_.PlayMusicFile(effect.line.text);
        break;
      case Kind::kSound:
        speech->media_.PlaySoundFile(effect.line.text);
        break;
    }
  }
}

std::string MainThreadSpeech::TimeText() {
  return velmor::TimeText();
}

void MainThreadSpeech::AppendLogLine(const LogLine& line) {
  Send({Kind::kLine, line});
}

void MainThreadSpeech::PlayMusicFile(const std::string& name) {
  Send({Kind::kMusic, LogLine{name}});
}

void MainThreadSpeech::PlaySoundFile(const std::string& name) {
  Send({Kind::kSound, LogLine{name}});
}

}  // namespace velmor
