#include "speech/media_player.h"

#include "platform/exception.h"

namespace velmor {

MediaPlayer::MediaPlayer(MediaSystem& system, MediaKind kind) : system_(system), kind_(kind) {}

MediaPlayer::~MediaPlayer() = default;

void MediaPlayer::Open() {
  Close();
  device_ = system_.Open(file_name_, kind_);
  device_->SetFinishedHandler([this] { DeviceFinished(); });
}

void MediaPlayer::Close() {
  device_.reset();
}

void MediaPlayer::Play() {
  Device("Play").Play();
}

void MediaPlayer::Pause() {
  Device("Pause").Pause();
}

void MediaPlayer::Stop() {
  Device("Stop").Stop();
}

void MediaPlayer::Eject() {
  Device("Eject").Eject();
}

MediaTime MediaPlayer::Position() const {
  return device_ ? device_->Position() : 0;
}

MediaTime MediaPlayer::Length() const {
  return device_ ? device_->Length() : 0;
}

MediaDevice& MediaPlayer::Device(const char* operation) const {
  if (!device_) {
    throw Exception(std::string(operation) +
                    ": kein Medienger\xE4t ge\xF6"
                    "ffnet");
  }
  return *device_;
}

void MediaPlayer::DeviceFinished() {
  if (!handler_) return;
  // The handler may close the device that is calling us; keep our own copy of it.
  CompletionHandler handler = handler_;
  handler(*this);
}

}  // namespace velmor
