#include "speech/media_triggers.h"

#include <exception>
#include <utility>

namespace velmor {

MediaTriggers::MediaTriggers(MediaSystem& system, Dispatcher& dispatcher, AppendLine append_line,
                             TimeSource time_text)
    : system_(system),
      dispatcher_(dispatcher),
      append_line_(std::move(append_line)),
      time_text_(std::move(time_text)),
      music_player_(std::make_unique<MediaPlayer>(system, MediaKind::kMusic)) {}

MediaTriggers::~MediaTriggers() = default;

void MediaTriggers::PlayMusicFile(const std::string& name) {
  if (!music_player_) return;
  if (ReplaceFile(*music_player_, name)) PlayUnreported(*music_player_);
}

bool MediaTriggers::ReplaceFile(MediaPlayer& player, const std::string& name) {
  if (!player.FileName().empty()) {
    // Cuts off what the player still plays.
    player.Stop();
    player.Eject();
  }
  player.SetFileName(name);
  try {
    player.Open();
  } catch (const std::exception&) {
    WriteErrorLine(player.FileName());
    player.SetFileName({});
    return false;
  }
  return true;
}

void MediaTriggers::PlaySoundFile(const std::string& name) {
  if (released_) return;
  sound_slot_index_ = sound_slot_index_ >= kSoundSlotCount - 1 ? 0 : sound_slot_index_ + 1;
  SoundSlotEntry& slot = sound_slots_[static_cast<std::size_t>(sound_slot_index_)];
  if (!slot.player) {
    slot.player = std::make_unique<MediaPlayer>(system_, MediaKind::kSound);
    slot.created = ++players_created_;
    SoundBarChanged();
  }
  MediaPlayer& player = *slot.player;
  if (!ReplaceFile(player, name)) return;
  PlayUnreported(player);
  player.SetCompletionHandler([this](MediaPlayer& finished) { SoundFinished(finished); });
}

void MediaTriggers::SoundFinished(MediaPlayer& player) {
  if (player.Position() < player.Length()) return;
  for (SoundSlotEntry& slot : sound_slots_) {
    if (slot.player.get() != &player) continue;
    player.SetFileName({});
    player.SetCompletionHandler({});
    // We are inside the player's own notice: close and destroy it once that has returned.
    std::shared_ptr<MediaPlayer> released(std::move(slot.player));
    slot.created = 0;
    dispatcher_.Post([released] { released->Close(); });
    SoundBarChanged();
    return;
  }
}

void MediaTriggers::ReleasePlayers() {
  released_ = true;
  bool had_sound_players = false;
  auto give_up_file = [](MediaPlayer& player) {
    if (player.FileName().empty()) return;
    player.Eject();
    player.SetFileName({});
  };
  if (music_player_) give_up_file(*music_player_);
  for (SoundSlotEntry& slot : sound_slots_) {
    if (slot.player) give_up_file(*slot.player);
  }
  music_player_.reset();
  for (SoundSlotEntry& slot : sound_slots_) {
    had_sound_players = had_sound_players || slot.player;
    slot.player.reset();
    slot.created = 0;
  }
  if (had_sound_players) SoundBarChanged();
}

MediaPlayer* MediaTriggers::SoundSlot(int index) const {
  if (index < 0 || index >= kSoundSlotCount) return nullptr;
  return sound_slots_[static_cast<std::size_t>(index)].player.get();
}

MediaPlayer* MediaTriggers::SoundBarPlayer() const {
  const SoundSlotEntry* newest = nullptr;
  for (const SoundSlotEntry& slot : sound_slots_) {
    if (slot.player && (!newest || slot.created > newest->created)) newest = &slot;
  }
  return newest ? newest->player.get() : nullptr;
}

MediaPlayer* MediaTriggers::OpenBarPlayer() const {
  MediaPlayer* player = SoundBarPlayer();
  return player && player->IsOpen() ? player : nullptr;
}

void MediaTriggers::SoundBarPlay() {
  if (MediaPlayer* player = OpenBarPlayer()) player->Play();
}

void MediaTriggers::SoundBarPause() {
  if (MediaPlayer* player = OpenBarPlayer()) player->Pause();
}

void MediaTriggers::SoundBarStop() {
  if (MediaPlayer* player = OpenBarPlayer()) player->Stop();
}

void MediaTriggers::PlayUnreported(MediaPlayer& player) {
  try {
    player.Play();
  } catch (const std::exception&) {
    // Only a file that cannot be opened is worth a line in the log.
  }
}

void MediaTriggers::WriteErrorLine(const std::string& file_name) {
  LogLine line;
  // UTF-8, as every log line.
  line.text = time_text_() + " Fehler beim \u00F6ffnen der Musikdatei: \"" + file_name + "\"";
  line.color = clBlack;
  line.style = LogStyle::kBoldItalic;
  append_line_(line);
}

void MediaTriggers::SoundBarChanged() {
  if (bar_observer_) bar_observer_();
}

}  // namespace velmor
