#include "speech/main_thread_speech.h"

#include "platform/time_text.h"

namespace velmor {

MainThreadSpeech::MainThreadSpeech(Dispatcher& dispatcher, const HueTable& hues,
                                   ConversationLog& log, MediaTriggers& media)
    : dispatcher_(dispatcher),
      hues_(hues),
      log_(log),
      media_(media),
      alive_(std::make_shared<std::atomic<MainThreadSpeech*>>(this)) {}

template <typename Effect>
void MainThreadSpeech::Post(Effect effect) {
  dispatcher_.Post([alive = alive_, effect = std::move(effect)] {
    if (MainThreadSpeech* speech = alive->load()) effect(*speech);
  });
}

std::string MainThreadSpeech::TimeText() {
  return velmor::TimeText();
}

void MainThreadSpeech::AppendLogLine(const LogLine& line) {
  Post([line](MainThreadSpeech& speech) { speech.log_.AppendLogLine(line); });
}

void MainThreadSpeech::PlayMusicFile(const std::string& name) {
  Post([name](MainThreadSpeech& speech) { speech.media_.PlayMusicFile(name); });
}

void MainThreadSpeech::PlaySoundFile(const std::string& name) {
  Post([name](MainThreadSpeech& speech) { speech.media_.PlaySoundFile(name); });
}

}  // namespace velmor
