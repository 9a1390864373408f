#include "audio_sdl/sdl_devices.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio_sdl/audio_session.h"

namespace velmor::audio {
namespace {

// Below the end until the finished notice says the end is reached.
MediaTime PlayingPosition(const PlayClock& clock, MediaTime length) {
  return std::clamp<MediaTime>(clock.Elapsed(), 0, std::max<MediaTime>(0, length - 1));
}

}  // namespace

void PlayClock::Start() {
  before_ = {};
  since_ = Clock::now();
  running_ = true;
}

void PlayClock::Halt() {
  if (!running_) return;
  before_ += Clock::now() - since_;
  running_ = false;
}

void PlayClock::Continue() {
  if (running_) return;
  since_ = Clock::now();
  running_ = true;
}

MediaTime PlayClock::Elapsed() const {
  Clock::duration total = before_;
  if (running_) total += Clock::now() - since_;
  return std::chrono::duration_cast<std::chrono::milliseconds>(total).count();
}

// --- sounds ---

SoundDevice::SoundDevice(std::shared_ptr<AudioSession> session, Mix_Chunk* chunk)
    : session_(std::move(session)),
      chunk_(chunk),
      channel_(-1),
      length_(session_->BytesToMilliseconds(chunk->alen)) {
  try {
    channel_ = session_->AcquireChannel(this);
  } catch (...) {
    Mix_FreeChunk(chunk_);
    throw;
  }
}

SoundDevice::~SoundDevice() {
  session_->ReleaseChannel(channel_);
  Mix_FreeChunk(chunk_);
}

void SoundDevice::Play() {
  switch (state_) {
    case PlayState::kPlaying:
      return;
    case PlayState::kHalted:
      Mix_Resume(channel_);
      clock_.Continue();
      state_ = PlayState::kPlaying;
      return;
    case PlayState::kReady:
    case PlayState::kEnded:
      play_id_ = session_->BeginChannelPlay(channel_);
      if (Mix_PlayChannel(channel_, chunk_, 0) < 0) {
        state_ = PlayState::kReady;
        return;
      }
      clock_.Start();
      state_ = PlayState::kPlaying;
      return;
  }
}

void SoundDevice::Pause() {
  if (state_ != PlayState::kPlaying) return;
  Mix_Pause(channel_);
  clock_.Halt();
  state_ = PlayState::kHalted;
}

void SoundDevice::Stop() {
  Pause();
}

MediaTime SoundDevice::Position() const {
  switch (state_) {
    case PlayState::kReady:
      return 0;
    case PlayState::kEnded:
      return length_;
    default:
      return PlayingPosition(clock_, length_);
  }
}

void SoundDevice::Finished() {
  state_ = PlayState::kEnded;
  clock_.Halt();
  // The handler may destroy this device: call a copy, and touch nothing afterwards.
  auto handler = handler_;
  if (handler) handler();
}

// --- music ---

MusicDevice::MusicDevice(std::shared_ptr<AudioSession> session, Mix_Music* music)
    : session_(std::move(session)), music_(music), length_(-1) {
  const double seconds = Mix_MusicDuration(music_);
  if (seconds >= 0) length_ = static_cast<MediaTime>(std::llround(seconds * 1000));
}

MusicDevice::~MusicDevice() {
  session_->ReleaseMusic(this);
  Mix_FreeMusic(music_);
}

void MusicDevice::Play() {
  if (session_->OwnsMusic(this)) {
    if (state_ == PlayState::kPlaying) return;
    if (state_ == PlayState::kHalted) {
      Mix_ResumeMusic();
      clock_.Continue();
      state_ = PlayState::kPlaying;
      return;
    }
  }
  play_id_ = session_->BeginMusicPlay(this);
  if (Mix_PlayMusic(music_, 0) < 0) {
    state_ = PlayState::kReady;
    return;
  }
  clock_.Start();
  state_ = PlayState::kPlaying;
}

void MusicDevice::Pause() {
  if (state_ != PlayState::kPlaying || !session_->OwnsMusic(this)) return;
  Mix_PauseMusic();
  clock_.Halt();
  state_ = PlayState::kHalted;
}

void MusicDevice::Stop() {
  Pause();
}

MediaTime MusicDevice::Position() const {
  switch (state_) {
    case PlayState::kReady:
      return 0;
    case PlayState::kEnded:
      return Length();
    default:
      return PlayingPosition(clock_, Length());
  }
}

MediaTime MusicDevice::Length() const {
  if (length_ >= 0) return length_;
  // The file does not tell its length: the end is where playback ended.
  if (state_ == PlayState::kEnded) return ended_at_;
  return std::numeric_limits<MediaTime>::max();
}

void MusicDevice::Finished() {
  clock_.Halt();
  ended_at_ = clock_.Elapsed();
  state_ = PlayState::kEnded;
  // The handler may destroy this device: call a copy, and touch nothing afterwards.
  auto handler = handler_;
  if (handler) handler();
}

void MusicDevice::Displaced() {
  clock_.Halt();
  state_ = PlayState::kReady;
}

}  // namespace velmor::audio
