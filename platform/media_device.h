#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Music and sound playback, as the media triggers need it: open a file, play it once to its
// end, stop, pause, and be told on the main thread when playback has ended.
//
// Threads: every call, construction and destruction happens on the main thread, and the
// finished handler is called there too.
namespace velmor {

enum class MediaKind {
  // Streamed from the file while it plays. One music plays at a time: playing a music
  // device stops whatever music played before.
  kMusic,
  // Loaded whole when opened and played on a mixing channel of its own, over the music and
  // beside every other sound.
  kSound,
};

// Positions and lengths are in milliseconds.
using MediaTime = std::int64_t;

// One opened file. Destroying the device closes it: playback ends at once and no finished
// notice is delivered afterwards.
class MediaDevice {
 public:
  virtual ~MediaDevice() = default;

  // Starts playback from the current position and returns at once: the start right after
  // opening, where it was after Pause or Stop, and the start again once it has played to its
  // end. A finished notice is requested. A playback that cannot start is not reported: it
  // has ended at once, and its finished notice follows.
  virtual void Play() = 0;
  // Halts playback where it is; Play continues from there.
  virtual void Pause() = 0;
  // Halts playback where it is, like Pause; no notice follows.
  virtual void Stop() = 0;
  // Asks the device to eject its medium. Files have none, so file audio ignores it.
  virtual void Eject() = 0;

  // Position() never exceeds Length(); it equals Length() exactly when playback has run to
  // its end, from the finished notice until playback starts again. A length the file does
  // not tell is very large until the end is reached.
  virtual MediaTime Position() const = 0;
  virtual MediaTime Length() const = 0;

  // Called on the main thread when a playback started by Play has run to its end. The
  // handler may destroy the device; the device touches nothing of itself after calling it.
  virtual void SetFinishedHandler(std::function<void()> handler) = 0;
};

// Opens files for playback.
class MediaSystem {
 public:
  virtual ~MediaSystem() = default;

  // Opens the file named as the game server wrote it: UTF-8, relative to the working
  // directory, found as platform/windows_path.h says; the way it is played follows from the
  // file's type. Throws velmor::Exception when it cannot be opened: missing, not a regular
  // file, of no supported type, or decoding to too much to hold as a sound. Opening a sound
  // reads no more than its header: it is decoded after Open has returned, and Play before
  // that starts it once it is ready.
  virtual std::unique_ptr<MediaDevice> Open(const std::string& file_name, MediaKind kind) = 0;
};

}  // namespace velmor
