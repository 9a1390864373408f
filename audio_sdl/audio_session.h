#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio_sdl/sound_decoding.h"
#include "platform/dispatch.h"

// The process's one open SDL mixer, shared by the media system and every device it opened,
// so it closes only when the last of them is gone. It owns the routing of SDL's "finished"
// callbacks: they arrive on SDL's audio thread, are posted through the dispatcher, and reach
// the device on the main thread only if that device still exists and the finished playback
// is still its latest one.
//
// Threads: everything here is for the main thread, except the SDL callbacks it installs.
namespace velmor::audio {

class SoundDevice;
class MusicDevice;

class AudioSession : public std::enable_shared_from_this<AudioSession> {
 public:
  // The open session, or a new one: SDL audio with the system's driver, or SDL's silent
  // dummy driver where no audio device can be opened. Throws Exception when neither opens.
  // The dispatcher must queue what it is given and outlive every session and device.
  static std::shared_ptr<AudioSession> Acquire(Dispatcher& dispatcher);

  AudioSession(const AudioSession&) = delete;
  AudioSession& operator=(const AudioSession&) = delete;
  ~AudioSession();

  // Whether sound goes to SDL's dummy driver.
  bool Silent() const { return silent_; }
  // The mixer's sample format.
  const MixerFormat& Mixer() const { return mixer_; }
  // The dispatcher that carries notices to the main thread.
  Dispatcher& Notices() const { return *dispatcher_; }
  // Milliseconds of audio in the given number of bytes of the mixer's own sample format.
  std::int64_t BytesToMilliseconds(std::uint64_t bytes) const;

  // A mixing channel of the sound's own, for as long as it exists.
  int AcquireChannel(SoundDevice* owner);
  void ReleaseChannel(int channel);
  // Halts the channel, then marks a new playback on it; the id names its finished notice.
  // Call right before starting the channel.
  std::uint64_t BeginChannelPlay(int channel);

  // Halts whatever music plays, tells its device so, and makes owner the music's device;
  // returns the new playback's id. Call right before starting the music.
  std::uint64_t BeginMusicPlay(MusicDevice* owner);
  bool OwnsMusic(const MusicDevice* device) const { return music_owner_ == device; }
  // Halts the music if the device owns it, and forgets the device.
  void ReleaseMusic(MusicDevice* device);

  // Posts a finished notice for a playback that ended without the mixer playing it.
  void PostChannelNotice(int channel, std::uint64_t play);
  void PostMusicNotice(std::uint64_t play);

  // The posted notices land here, on the main thread.
  void DeliverChannelNotice(int channel, std::uint64_t play);
  void DeliverMusicNotice(std::uint64_t play);

 private:
  struct Private {};

 public:
  explicit AudioSession(Private);

 private:
  Dispatcher* dispatcher_ = nullptr;
  bool silent_ = false;
  MixerFormat mixer_;
  std::uint64_t plays_started_ = 0;
  std::vector<SoundDevice*> channel_owners_;
  MusicDevice* music_owner_ = nullptr;
};

}  // namespace velmor::audio
