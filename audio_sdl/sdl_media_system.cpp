#include "audio_sdl/sdl_media_system.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include "audio_sdl/audio_session.h"
#include "audio_sdl/media_file.h"
#include "audio_sdl/sdl_devices.h"
#include "audio_sdl/sound_decoding.h"
#include "platform/exception.h"
#include "platform/text_codec.h"

namespace velmor {
namespace {

// The extensions that name a music type, as SDL_mixer's own loader reads them; any other
// name leaves the type to the file's first bytes.
Mix_MusicType MusicTypeOf(const std::string& file_name) {
  const auto dot = file_name.rfind('.');
  if (dot == std::string::npos) return MUS_NONE;
  const std::string_view extension = std::string_view(file_name).substr(dot + 1);
  auto is = [extension](const char* name) { return EqualsIgnoringCase(extension, name); };
  if (is("wav")) return MUS_WAV;
  if (is("mid") || is("midi") || is("kar")) return MUS_MID;
  if (is("ogg")) return MUS_OGG;
  if (is("opus")) return MUS_OPUS;
  if (is("flac")) return MUS_FLAC;
  if (is("mp3") || is("mpg") || is("mpeg") || is("mad")) return MUS_MP3;
  return MUS_NONE;
}

[[noreturn]] void Unplayable(const std::string& file_name) {
  throw Exception("\"" + Utf8ToWindows1252(file_name) +
                  "\" kann nicht abgespielt werden: " + Mix_GetError());
}

}  // namespace

SdlMediaSystem::SdlMediaSystem(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

SdlMediaSystem::~SdlMediaSystem() = default;

bool SdlMediaSystem::Silent() const {
  return session_ && session_->Silent();
}

std::unique_ptr<MediaDevice> SdlMediaSystem::Open(const std::string& file_name, MediaKind kind) {
  if (!session_) session_ = audio::AudioSession::Acquire(dispatcher_);
  audio::MediaFile file(file_name);
  if (kind == MediaKind::kSound) {
    auto decoding = std::make_unique<audio::SoundDecoding>(std::move(file), file_name,
                                                           session_->Mixer(), kMaxSoundBytes);
    return std::make_unique<audio::SoundDevice>(session_, std::move(decoding));
  }
  const Mix_MusicType type = MusicTypeOf(file.Path());
  Mix_Music* music = Mix_LoadMUSType_RW(file.TakeStream(), type, 1);
  if (!music) Unplayable(file_name);
  return std::make_unique<audio::MusicDevice>(session_, music);
}

}  // namespace velmor
