#include "audio_sdl/media_file.h"

#include <SDL.h>

#include <cstdio>
#include <optional>
#include <utility>

#include "platform/exception.h"
#include "platform/text_codec.h"
#include "platform/windows_path.h"

#ifdef _WIN32
#error "audio_sdl/media_file.cpp opens files the POSIX way only"
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor::audio {
namespace {

[[noreturn]] void Refuse(const std::string& name, const char* reason) {
  throw Exception("\"" + Utf8ToWindows1252(name) +
                  "\" kann nicht ge\xF6"
                  "ffnet werden: " +
                  reason);
}

void CheckRegular(const std::string& name, const struct stat& info) {
  if (!S_ISREG(info.st_mode)) Refuse(name, "keine gew\xF6hnliche Datei");
}

}  // namespace

MediaFile::MediaFile(const std::string& name) : name_(name) {
  // A server names files on this machine only: no host, no device.
  switch (KindOfWindowsName(name)) {
    case WindowsNameKind::kNetwork:
      Refuse(name, "keine lokale Datei");
    case WindowsNameKind::kDevice:
      Refuse(name, "keine gew\xF6hnliche Datei");
    case WindowsNameKind::kLocal:
      break;
  }
  std::optional<std::string> path = LocateWindowsPath(name);
  struct stat info {};
  if (!path || ::stat(path->c_str(), &info) != 0) Refuse(name, "nicht gefunden");
  CheckRegular(name, info);
  path_ = std::move(*path);

  // Non-blocking, so that a FIFO slipped in after the check cannot hold the open.
  descriptor_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor_ < 0) Refuse(name, "kein Zugriff");
  try {
    if (::fstat(descriptor_, &info) != 0) Refuse(name, "kein Zugriff");
    CheckRegular(name, info);
    ::fcntl(descriptor_, F_SETFL, ::fcntl(descriptor_, F_GETFL) & ~O_NONBLOCK);
  } catch (...) {
    ::close(descriptor_);
    throw;
  }
}

MediaFile::MediaFile(MediaFile&& other) noexcept
    : name_(std::move(other.name_)),
      path_(std::move(other.path_)),
      descriptor_(std::exchange(other.descriptor_, -1)) {}

MediaFile::~MediaFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

SDL_RWops* MediaFile::TakeStream() {
  std::FILE* file = ::fdopen(descriptor_, "rb");
  if (!file) Refuse(name_, "kein Zugriff");
  descriptor_ = -1;
  SDL_RWops* stream = SDL_RWFromFP(file, SDL_TRUE);
  if (!stream) {
    std::fclose(file);
    Refuse(name_, "kein Zugriff");
  }
  return stream;
}

}  // namespace velmor::audio
