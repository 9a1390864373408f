#include "audio_sdl/sound_decoding.h"

#include <SDL_thread.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/exception.h"
#include "platform/text_codec.h"

namespace velmor::audio {
namespace {

// About 90 ms of a 44.1 kHz file: the most a cancelled decoding runs on.
constexpr sf_count_t kBlockFrames = 4096;

[[noreturn]] void Refuse(const std::string& name, const std::string& reason) {
  throw Exception("\"" + Utf8ToWindows1252(name) + "\" kann nicht abgespielt werden: " + reason);
}

}  // namespace

SoundDecoding::SoundDecoding(MediaFile file, const std::string& name, const MixerFormat& mixer,
                             std::uint64_t max_bytes)
    : file_(std::move(file)) {
  const std::uint64_t frame_bytes = static_cast<std::uint64_t>(std::max(mixer.FrameBytes(), 1));
  frame_bytes_ = static_cast<std::size_t>(frame_bytes);
  max_bytes_ = max_bytes / frame_bytes * frame_bytes;

  SF_INFO info{};
  sound_ = sf_open_fd(file_.Descriptor(), SFM_READ, &info, SF_FALSE);
  if (!sound_) Refuse(name, sf_strerror(nullptr));
  try {
    if (info.samplerate <= 0 || info.channels <= 0 || info.channels > 255 || info.frames < 0) {
      Refuse(name, "ung\xFCltiger Kopf");
    }
    // In the mixer's format, as the header tells it; a long double holds any frame count.
    const long double decoded =
        std::ceil(static_cast<long double>(info.frames) * mixer.frequency / info.samplerate) *
        frame_bytes;
    if (decoded > static_cast<long double>(max_bytes_)) Refuse(name, "zu lang f\xFCr einen Ton");
    claimed_length_ =
        static_cast<MediaTime>(static_cast<long double>(info.frames) * 1000 / info.samplerate);
    channels_ = info.channels;
    converter_ =
        SDL_NewAudioStream(AUDIO_F32SYS, static_cast<Uint8>(info.channels), info.samplerate,
                           mixer.format, static_cast<Uint8>(mixer.channels), mixer.frequency);
    if (!converter_) Refuse(name, SDL_GetError());
    samples_.reserve(static_cast<std::size_t>(decoded));
  } catch (...) {
    if (converter_) SDL_FreeAudioStream(converter_);
    sf_close(sound_);
    throw;
  }
}

SoundDecoding::~SoundDecoding() {
  cancelled_ = true;
  if (thread_.joinable()) thread_.join();
  SDL_FreeAudioStream(converter_);
  sf_close(sound_);
}

void SoundDecoding::Start(Dispatcher& dispatcher, std::function<void()> ready) {
  thread_ =
      std::thread([this, &dispatcher, ready = std::move(ready)] { Decode(dispatcher, ready); });
}

void SoundDecoding::Decode(Dispatcher& dispatcher, const std::function<void()>& ready) {
  std::vector<float> block(static_cast<std::size_t>(kBlockFrames * channels_));
  bool room = true;
  while (room && !cancelled_) {
    const sf_count_t frames = sf_readf_float(sound_, block.data(), kBlockFrames);
    if (frames <= 0) break;
    const int bytes = static_cast<int>(frames * channels_ * static_cast<sf_count_t>(sizeof(float)));
    if (SDL_AudioStreamPut(converter_, block.data(), bytes) != 0) break;
    room = Collect();
  }
  if (room && !cancelled_ && SDL_AudioStreamFlush(converter_) == 0) Collect();
  // An error SDL noted on this thread is kept in storage of the thread's own, which SDL
  // frees only for threads it started.
  SDL_TLSCleanup();
  if (!cancelled_) dispatcher.Post(ready);
}

bool SoundDecoding::Collect() {
  const std::size_t available = static_cast<std::size_t>(SDL_AudioStreamAvailable(converter_));
  const std::size_t have = samples_.size();
  const std::size_t take = std::min<std::size_t>(available, max_bytes_ - have);
  if (take == 0) return take == available;
  if (have + take > samples_.capacity()) {
    // Past what the header claimed: grow, but never beyond the bound.
    samples_.reserve(
        std::min<std::size_t>(std::max(samples_.capacity() * 2, have + take), max_bytes_));
  }
  samples_.resize(have + take);
  const int got = SDL_AudioStreamGet(converter_, samples_.data() + have, static_cast<int>(take));
  samples_.resize(have + static_cast<std::size_t>(std::max(got, 0)));
  return take == available;
}

std::vector<std::uint8_t> SoundDecoding::TakeSamples() {
  if (thread_.joinable()) thread_.join();
  std::vector<std::uint8_t> samples = std::move(samples_);
  samples_ = {};
  // A last partial frame would make the mixer refuse the whole sound.
  samples.resize(samples.size() / frame_bytes_ * frame_bytes_);
  return samples;
}

}  // namespace velmor::audio
