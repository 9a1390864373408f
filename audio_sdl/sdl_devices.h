#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <SDL_mixer.h>

#include "platform/media_device.h"

// The two kinds of SDL media device. A sound is decoded whole, on a thread of its own, and
// played on a mixing channel of its own; music is streamed from its file, one at a time.
// Positions are kept by the clock while playing, since SDL reports none for chunks; the end
// itself is known exactly, from SDL's finished notice. A playback the mixer refuses to start
// (a sound without a single frame) has ended at once: its finished notice is posted.
//
// Threads: main thread only, like every MediaDevice.
namespace velmor::audio {

class AudioSession;
class SoundDecoding;

// Milliseconds of playback, counted by the wall clock while it runs.
class PlayClock {
 public:
  void Start();
  void Halt();
  void Continue();
  MediaTime Elapsed() const;

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration before_ = {};
  Clock::time_point since_ = {};
  bool running_ = false;
};

// How far a device has got with its current playback.
enum class PlayState { kReady, kPlaying, kHalted, kEnded };

class SoundDevice : public MediaDevice {
 public:
  // Takes a channel of its own and starts the decoding; throws Exception when no channel is
  // left. Play before the samples are ready starts playback as soon as they are.
  SoundDevice(std::shared_ptr<AudioSession> session, std::unique_ptr<SoundDecoding> decoding);
  ~SoundDevice() override;

  void Play() override;
  void Pause() override;
  void Stop() override;
  void Eject() override {}
  MediaTime Position() const override;
  MediaTime Length() const override { return length_; }
  void SetFinishedHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

  // For the session's notices.
  std::uint64_t PlayId() const { return play_id_; }
  void Finished();

 private:
  void Loaded();
  void StartChannel();

  std::shared_ptr<AudioSession> session_;
  // Until the samples are ready.
  std::unique_ptr<SoundDecoding> decoding_;
  std::vector<std::uint8_t> samples_;
  Mix_Chunk* chunk_ = nullptr;  // plays samples_; null while decoding and for no samples
  int channel_ = -1;
  MediaTime length_;
  bool start_when_loaded_ = false;
  // Lets the decoding's posted notice find this device only while it exists.
  std::shared_ptr<SoundDevice*> self_;
  PlayState state_ = PlayState::kReady;
  std::uint64_t play_id_ = 0;
  PlayClock clock_;
  std::function<void()> handler_;
};

class MusicDevice : public MediaDevice {
 public:
  // Takes the music.
  MusicDevice(std::shared_ptr<AudioSession> session, Mix_Music* music);
  ~MusicDevice() override;

  void Play() override;
  void Pause() override;
  void Stop() override;
  void Eject() override {}
  MediaTime Position() const override;
  MediaTime Length() const override;
  void SetFinishedHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

  // For the session's notices.
  std::uint64_t PlayId() const { return play_id_; }
  void Finished();
  // Another music took over the one stream: this playback is gone.
  void Displaced();

 private:
  std::shared_ptr<AudioSession> session_;
  Mix_Music* music_;
  MediaTime length_;  // -1: the file does not tell
  MediaTime ended_at_ = 0;
  PlayState state_ = PlayState::kReady;
  std::uint64_t play_id_ = 0;
  PlayClock clock_;
  std::function<void()> handler_;
};

}  // namespace velmor::audio
