#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "platform/media_device.h"
#include "speech/log_line.h"
#include "speech/media_player.h"

// Music and sound triggers: the "~~Music=" and "~~Sound=" markers play a file. There is one
// music player, so new music replaces the old; sounds rotate over eleven players, so up to
// eleven play at once, over the music. A file that cannot be opened becomes a bold italic
// error line in the conversation log.
//
// Threads: main thread only. Sound players are released only after their own finished notice
// has been handled (the release is posted through the dispatcher), so the player and its
// device are never destroyed underneath the code that delivers the notice.
//
// The window shows a control bar for sound players while at least one exists; it controls
// the most recently created sound player that still exists.
namespace velmor {

class MediaTriggers {
 public:
  static constexpr int kSoundSlotCount = 11;

  using AppendLine = std::function<void(const LogLine& line)>;
  using TimeSource = std::function<std::string()>;

  // Creates the music player. The media system and the dispatcher must outlive this object;
  // append_line receives the error lines, time_text gives the time they carry.
  MediaTriggers(MediaSystem& system, Dispatcher& dispatcher, AppendLine append_line,
                TimeSource time_text);
  MediaTriggers(const MediaTriggers&) = delete;
  MediaTriggers& operator=(const MediaTriggers&) = delete;
  ~MediaTriggers();

  // The text after "~~Music=" or "~~Sound=", possibly empty: the file name as the server
  // wrote it, which the media system finds (see MediaSystem::Open) and the error line shows.
  // After ReleasePlayers both do nothing.
  void PlayMusicFile(const std::string& name);
  void PlaySoundFile(const std::string& name);

  // The completion handler of every sound player: at the end of its medium the player gives
  // up its file and leaves its slot, and is destroyed once this notice has been handled.
  void SoundFinished(MediaPlayer& player);

  // Gives up every file and destroys every player. Safe to call again: it then finds nothing.
  void ReleasePlayers();

  // The state: null where there is no player.
  MediaPlayer* MusicPlayer() const { return music_player_.get(); }
  MediaPlayer* SoundSlot(int index) const;
  // The slot used last; -1 before the first sound.
  int SoundSlotIndex() const { return sound_slot_index_; }

  // The sound control bar: shown while at least one sound player exists.
  bool SoundBarVisible() const { return SoundBarPlayer() != nullptr; }
  // The most recently created sound player that still exists, or null.
  MediaPlayer* SoundBarPlayer() const;
  // Called whenever a sound player is created or destroyed, so visibility or the bar's
  // player may have changed.
  void SetSoundBarObserver(std::function<void()> observer) { bar_observer_ = std::move(observer); }
  // The bar's buttons; each does nothing while the bar's player holds no open file. Play
  // continues from where Pause or Stop halted.
  void SoundBarPlay();
  void SoundBarPause();
  void SoundBarStop();

 private:
  struct SoundSlotEntry {
    std::unique_ptr<MediaPlayer> player;
    long long created = 0;  // order of creation, for the control bar
  };

  static void PlayUnreported(MediaPlayer& player);
  // Stops and ejects what the player holds and opens `name` in its place; a file that cannot
  // be opened becomes the error line and leaves the player without a file.
  bool ReplaceFile(MediaPlayer& player, const std::string& name);
  void WriteErrorLine(const std::string& file_name);
  void SoundBarChanged();
  MediaPlayer* OpenBarPlayer() const;

  MediaSystem& system_;
  Dispatcher& dispatcher_;
  AppendLine append_line_;
  TimeSource time_text_;

  std::unique_ptr<MediaPlayer> music_player_;
  std::array<SoundSlotEntry, kSoundSlotCount> sound_slots_;
  int sound_slot_index_ = -1;
  long long players_created_ = 0;
  bool released_ = false;
  std::function<void()> bar_observer_;
};

}  // namespace velmor
