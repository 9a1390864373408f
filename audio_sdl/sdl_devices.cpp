#include "audio_sdl/sdl_devices.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio_sdl/audio_session.h"
#include "audio_sdl/sound_decoding.h"

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

SoundDevice::SoundDevice(std::shared_ptr<AudioSession> session,
                         std::unique_ptr<SoundDecoding> decoding)
    : session_(std::move(session)),
      decoding_(std::move(decoding)),
      length_(decoding_->ClaimedLength()),
      self_(std::make_shared<SoundDevice*>(this)) {
  decoding_->Start(session_->Notices(), [self = std::weak_ptr<SoundDevice*>(self_)] {
    if (auto device = self.lock()) (*device)->Loaded();
  });
  // Last: should it throw, the members stop the decoding and nothing else needs undoing.
  channel_ = session_->AcquireChannel(this);
}

SoundDevice::~SoundDevice() {
  session_->ReleaseChannel(channel_);
  decoding_.reset();
  if (chunk_) Mix_FreeChunk(chunk_);
}

void SoundDevice::Loaded() {
  samples_ = decoding_->TakeSamples();
  decoding_.reset();
  if (!samples_.empty()) {
    chunk_ = Mix_QuickLoad_RAW(samples_.data(), static_cast<Uint32>(samples_.size()));
  }
  length_ = chunk_ ? session_->BytesToMilliseconds(chunk_->alen) : 0;
  if (start_when_loaded_) {
    start_when_loaded_ = false;
    StartChannel();
  }
}

void SoundDevice::StartChannel() {
  play_id_ = session_->BeginChannelPlay(channel_);
  if (!chunk_ || Mix_PlayChannel(channel_, chunk_, 0) < 0) {
    // Nothing the mixer can play (no frame at all): it has played to its end.
    state_ = PlayState::kEnded;
    session_->PostChannelNotice(channel_, play_id_);
    return;
  }
  clock_.Start();
  state_ = PlayState::kPlaying;
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
      if (decoding_) {
        start_when_loaded_ = true;
      } else {
        StartChannel();
      }
      return;
  }
}

void SoundDevice::Pause() {
  start_when_loaded_ = false;
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
    clock_ = {};
    state_ = PlayState::kEnded;
    session_->PostMusicNotice(play_id_);
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
