#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/media_device.h"

// A player of one media file at a time: the file's name, the device it is open on, and the
// handler that hears when playback has ended.
//
// Threads: main thread only. The player owns its device; the media system must outlive it.
namespace velmor {

class MediaPlayer {
 public:
  // Called with the player when a playback has ended (see MediaDevice::SetFinishedHandler).
  using CompletionHandler = std::function<void(MediaPlayer& player)>;

  MediaPlayer(MediaSystem& system, MediaKind kind);
  MediaPlayer(const MediaPlayer&) = delete;
  MediaPlayer& operator=(const MediaPlayer&) = delete;
  // Closes the device, which ends any playback still running.
  ~MediaPlayer();

  // Empty when the player holds no file.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }

  bool IsOpen() const { return device_ != nullptr; }

  // Takes effect for the open device and every later one; an empty handler removes it.
  void SetCompletionHandler(CompletionHandler handler) { handler_ = std::move(handler); }

  // Closes the previous device, if any, then opens FileName(). Throws Exception when the
  // file cannot be opened, and the player is then left without a device.
  void Open();
  // Closes the device; without one it does nothing.
  void Close();

  // These need an open device and throw Exception without one.
  void Play();
  void Pause();
  void Stop();
  void Eject();

  // In the device's units; 0 without a device.
  MediaTime Position() const;
  MediaTime Length() const;

 private:
  MediaDevice& Device(const char* operation) const;
  void DeviceFinished();

  MediaSystem& system_;
  MediaKind kind_;
  std::string file_name_;
  std::unique_ptr<MediaDevice> device_;
  CompletionHandler handler_;
};

}  // namespace velmor
