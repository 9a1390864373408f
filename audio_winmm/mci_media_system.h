#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/media_device.h"

// Music and sounds through the media control interface (MCI) of winmm: each file opens on
// the device the system picks from its name (wav on waveaudio, mid on the sequencer, mp3 and
// the rest on mpegvideo), in milliseconds. Finished notices arrive as MM_MCINOTIFY at a
// message-only window of this system's own, so they come through the main thread's message
// loop and never inside a call.
//
// Threads: main thread only; the message loop must run for notices to arrive.
namespace velmor {

class MciDevice;

class MciMediaSystem : public MediaSystem {
 public:
  MciMediaSystem();
  ~MciMediaSystem() override;
  MciMediaSystem(const MciMediaSystem&) = delete;
  MciMediaSystem& operator=(const MciMediaSystem&) = delete;

  std::unique_ptr<MediaDevice> Open(const std::string& file_name, MediaKind kind) override;

 private:
  friend class MciDevice;
  friend struct MciNotices;

  // The message-only window (an HWND) that MM_MCINOTIFY comes to.
  void* notice_window_ = nullptr;
  std::map<unsigned, MciDevice*> devices_;
  MciDevice* music_ = nullptr;
};

}  // namespace velmor
