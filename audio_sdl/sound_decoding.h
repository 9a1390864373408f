#pragma once

#include <SDL_audio.h>
#include <sndfile.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio_sdl/media_file.h"
#include "platform/dispatch.h"
#include "platform/media_device.h"

// A sound file decoded into the mixer's sample format on a thread of its own, so that
// opening a sound costs the main thread only the file's header, however long the sound.
// The bound is on what the sound decodes to: a header that claims more is refused before
// anything is decoded, and a file that decodes to more than its header claimed is cut at
// the bound.
//
// SDL_mixer's own loader is no use here: it decodes every compressed format while holding
// the audio device's lock, which would stop all playback and every mixer call of the main
// thread for as long as it takes. libsndfile reads WAV (PCM, float, ADPCM, u-law), AIFF,
// VOC, FLAC, Ogg Vorbis, Opus and MP3.
//
// Threads: construction, Start, TakeSamples and destruction on the main thread.
namespace velmor::audio {

// What the mixer plays, and so what sounds are decoded to.
struct MixerFormat {
  int frequency = 0;
  SDL_AudioFormat format = 0;
  int channels = 0;
  int FrameBytes() const { return static_cast<int>(SDL_AUDIO_BITSIZE(format) / 8) * channels; }
};

class SoundDecoding {
 public:
  // Reads the file's header. Throws Exception, naming the file as the server wrote it, when
  // the file is of no type read here or its audio would decode to more than max_bytes.
  SoundDecoding(MediaFile file, const std::string& name, const MixerFormat& mixer,
                std::uint64_t max_bytes);
  SoundDecoding(const SoundDecoding&) = delete;
  SoundDecoding& operator=(const SoundDecoding&) = delete;
  // Stops decoding that is still under way, waiting for at most one block of it.
  ~SoundDecoding();

  // The length the header tells, in milliseconds.
  MediaTime ClaimedLength() const { return claimed_length_; }

  // Starts decoding; when it ends, `ready` is posted to the dispatcher, which must outlive
  // this object. Nothing is posted once this object is destroyed first.
  void Start(Dispatcher& dispatcher, std::function<void()> ready);

  // After `ready` has run: the samples in the mixer's format, whole frames only; empty when
  // the file held no audio or could not be decoded. Leaves nothing behind.
  std::vector<std::uint8_t> TakeSamples();

 private:
  void Decode(Dispatcher& dispatcher, const std::function<void()>& ready);
  bool Collect();

  MediaFile file_;
  SNDFILE* sound_ = nullptr;
  SDL_AudioStream* converter_ = nullptr;
  int channels_ = 0;
  std::size_t frame_bytes_ = 1;
  std::uint64_t max_bytes_ = 0;
  MediaTime claimed_length_ = 0;
  std::vector<std::uint8_t> samples_;
  std::atomic<bool> cancelled_{false};
  std::thread thread_;
};

}  // namespace velmor::audio
