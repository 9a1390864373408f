#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "platform/media_device.h"

// Music and sound through SDL2_mixer. Music is streamed (wav, ogg, mp3, flac, opus, midi,
// tracker modules); sounds are decoded whole by libsndfile on a thread of their own (wav,
// aiff, voc, flac, ogg, opus, mp3; see audio_sdl/sound_decoding.h) and each plays on a
// mixing channel of its own. A sound's type is read from the file's first bytes; music's
// from the name's extension where it names one, else from the first bytes too. Midi needs a
// General MIDI sound font installed. Names are the server's: see platform/windows_path.h.
//
// SDL's audio opens on the first Open. Where no audio device can be opened, SDL's silent
// dummy driver is used instead, so that files still open, play to their end and fail to
// open exactly as they would with sound.
//
// Threads: main thread only. Finished notices come from SDL's audio thread and are posted
// through the dispatcher, which must queue them (never run them inline: SDL calls back with
// its audio lock held) and must outlive this system and every device it opened.
// One system per process: SDL's mixer is global.
namespace velmor {

namespace audio {
class AudioSession;
}

class SdlMediaSystem : public MediaSystem {
 public:
  // Sounds that decode to more than this (in the mixer's format) are refused: a sound is
  // held whole in memory while it exists. About six minutes at 44.1 kHz stereo.
  static constexpr std::uint64_t kMaxSoundBytes = std::uint64_t{64} << 20;

  explicit SdlMediaSystem(Dispatcher& dispatcher);
  ~SdlMediaSystem() override;

  std::unique_ptr<MediaDevice> Open(const std::string& file_name, MediaKind kind) override;

  // Whether sound goes to SDL's dummy driver; false before the first Open.
  bool Silent() const;

 private:
  Dispatcher& dispatcher_;
  std::shared_ptr<audio::AudioSession> session_;
};

}  // namespace velmor
