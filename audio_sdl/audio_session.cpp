#include "audio_sdl/audio_session.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <functional>
#include <mutex>
#include <string>

#include "audio_sdl/sdl_devices.h"
#include "platform/exception.h"

namespace velmor::audio {
namespace {

constexpr int kInitialChannels = 16;

// What SDL's callbacks may read on the audio thread. The main thread changes it under the
// mutex but never calls SDL while holding it, and the callbacks run under SDL's audio lock,
// so the two locks are never taken in opposite order.
struct NoticeRoute {
  std::mutex mutex;
  Dispatcher* dispatcher = nullptr;
  std::weak_ptr<AudioSession> session;
  std::vector<std::uint64_t> channel_plays;  // the playback under way on each channel
  std::uint64_t music_play = 0;
};

NoticeRoute& Route() {
  static NoticeRoute route;
  return route;
}

// The audio thread only posts, and outside the route's lock: SDL_mixer must not be called
// from inside its callbacks. The dispatcher stays valid: the session unhooks these callbacks
// (which waits for a running one) before it lets go of the dispatcher.
void SDLCALL ChannelFinished(int channel) {
  NoticeRoute& route = Route();
  Dispatcher* dispatcher = nullptr;
  std::function<void()> notice;
  {
    std::lock_guard lock(route.mutex);
    if (!route.dispatcher || channel < 0 ||
        static_cast<std::size_t>(channel) >= route.channel_plays.size()) {
      return;
    }
    dispatcher = route.dispatcher;
    notice = [session = route.session, channel, play = route.channel_plays[channel]] {
      if (auto open = session.lock()) open->DeliverChannelNotice(channel, play);
    };
  }
  dispatcher->Post(std::move(notice));
}

void SDLCALL MusicFinished() {
  NoticeRoute& route = Route();
  Dispatcher* dispatcher = nullptr;
  std::function<void()> notice;
  {
    std::lock_guard lock(route.mutex);
    if (!route.dispatcher) return;
    dispatcher = route.dispatcher;
    notice = [session = route.session, play = route.music_play] {
      if (auto open = session.lock()) open->DeliverMusicNotice(play);
    };
  }
  dispatcher->Post(std::move(notice));
}

bool OpenMixer() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (Mix_OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

std::weak_ptr<AudioSession>& Current() {
  static std::weak_ptr<AudioSession> current;
  return current;
}

}  // namespace

std::shared_ptr<AudioSession> AudioSession::Acquire(Dispatcher& dispatcher) {
  if (auto open = Current().lock()) return open;
  auto session = std::make_shared<AudioSession>(Private{});
  session->dispatcher_ = &dispatcher;
  Current() = session;
  {
    NoticeRoute& route = Route();
    std::lock_guard lock(route.mutex);
    route.dispatcher = &dispatcher;
    route.session = session;
    route.channel_plays.assign(session->channel_owners_.size(), 0);
    route.music_play = 0;
  }
  Mix_ChannelFinished(ChannelFinished);
  Mix_HookMusicFinished(MusicFinished);
  return session;
}

AudioSession::AudioSession(Private) {
  // The program handles its own signals; SDL must not take SIGINT and SIGTERM from it.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (!OpenMixer()) {
    // No audio device here (a server, a CI machine): play silently so that files still open,
    // and fail to open, just as they would with sound.
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (!OpenMixer()) {
      throw Exception(std::string("Die Tonausgabe kann nicht ge\xF6"
                                  "ffnet werden: ") +
                      SDL_GetError());
    }
  }
  const char* driver = SDL_GetCurrentAudioDriver();
  silent_ = driver && SDL_strcmp(driver, "dummy") == 0;
  Mix_Init(MIX_INIT_FLAC | MIX_INIT_MOD | MIX_INIT_MP3 | MIX_INIT_OGG | MIX_INIT_MID |
           MIX_INIT_OPUS);

  Mix_QuerySpec(&mixer_.frequency, &mixer_.format, &mixer_.channels);
  channel_owners_.assign(static_cast<std::size_t>(Mix_AllocateChannels(kInitialChannels)), nullptr);
}

AudioSession::~AudioSession() {
  // Both take SDL's audio lock, so no callback is running once they return.
  Mix_ChannelFinished(nullptr);
  Mix_HookMusicFinished(nullptr);
  {
    NoticeRoute& route = Route();
    std::lock_guard lock(route.mutex);
    route.dispatcher = nullptr;
    route.session.reset();
    route.channel_plays.clear();
  }
  Mix_HaltChannel(-1);
  Mix_HaltMusic();
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::int64_t AudioSession::BytesToMilliseconds(std::uint64_t bytes) const {
  if (mixer_.FrameBytes() <= 0 || mixer_.frequency <= 0) return 0;
  const std::uint64_t frames = bytes / static_cast<std::uint64_t>(mixer_.FrameBytes());
  return static_cast<std::int64_t>(frames * 1000 / static_cast<std::uint64_t>(mixer_.frequency));
}

int AudioSession::AcquireChannel(SoundDevice* owner) {
  for (std::size_t i = 0; i < channel_owners_.size(); ++i) {
    if (!channel_owners_[i]) {
      channel_owners_[i] = owner;
      return static_cast<int>(i);
    }
  }
  const int channel = static_cast<int>(channel_owners_.size());
  const int count = Mix_AllocateChannels(channel * 2);
  if (count <= channel) throw Exception("Kein freier Tonkanal");
  channel_owners_.resize(static_cast<std::size_t>(count), nullptr);
  {
    NoticeRoute& route = Route();
    std::lock_guard lock(route.mutex);
    route.channel_plays.resize(static_cast<std::size_t>(count), 0);
  }
  channel_owners_[static_cast<std::size_t>(channel)] = owner;
  return channel;
}

void AudioSession::ReleaseChannel(int channel) {
  Mix_HaltChannel(channel);
  channel_owners_.at(static_cast<std::size_t>(channel)) = nullptr;
}

std::uint64_t AudioSession::BeginChannelPlay(int channel) {
  // A notice from halting the previous playback still carries that playback's id.
  Mix_HaltChannel(channel);
  const std::uint64_t play = ++plays_started_;
  NoticeRoute& route = Route();
  std::lock_guard lock(route.mutex);
  route.channel_plays.at(static_cast<std::size_t>(channel)) = play;
  return play;
}

std::uint64_t AudioSession::BeginMusicPlay(MusicDevice* owner) {
  Mix_HaltMusic();
  if (music_owner_ && music_owner_ != owner) music_owner_->Displaced();
  music_owner_ = owner;
  const std::uint64_t play = ++plays_started_;
  NoticeRoute& route = Route();
  std::lock_guard lock(route.mutex);
  route.music_play = play;
  return play;
}

void AudioSession::ReleaseMusic(MusicDevice* device) {
  if (music_owner_ != device) return;
  music_owner_ = nullptr;
  Mix_HaltMusic();
}

void AudioSession::PostChannelNotice(int channel, std::uint64_t play) {
  dispatcher_->Post([session = weak_from_this(), channel, play] {
    if (auto open = session.lock()) open->DeliverChannelNotice(channel, play);
  });
}

void AudioSession::PostMusicNotice(std::uint64_t play) {
  dispatcher_->Post([session = weak_from_this(), play] {
    if (auto open = session.lock()) open->DeliverMusicNotice(play);
  });
}

void AudioSession::DeliverChannelNotice(int channel, std::uint64_t play) {
  if (channel < 0 || static_cast<std::size_t>(channel) >= channel_owners_.size()) return;
  SoundDevice* owner = channel_owners_[static_cast<std::size_t>(channel)];
  if (owner && owner->PlayId() == play) owner->Finished();
}

void AudioSession::DeliverMusicNotice(std::uint64_t play) {
  if (music_owner_ && music_owner_->PlayId() == play) music_owner_->Finished();
}

}  // namespace velmor::audio
