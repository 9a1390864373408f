#include "audio_sdl/media_file.h"

#include <SDL.h>

#include <cstdio>

#include "platform/exception.h"

#ifdef _WIN32
#error "audio_sdl/media_file.cpp opens files the POSIX way only"
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor::audio {
namespace {

[[noreturn]] void Refuse(const std::string& file_name, const char* reason) {
  throw Exception("\"" + file_name +
                  "\" kann nicht ge\xF6"
                  "ffnet werden: " +
                  reason);
}

void CheckRegular(const std::string& file_name, const struct stat& info, std::int64_t max_bytes) {
  if (!S_ISREG(info.st_mode)) Refuse(file_name, "keine gew\xF6hnliche Datei");
  if (info.st_size > max_bytes) Refuse(file_name, "zu gro\xDF");
}

}  // namespace

SDL_RWops* OpenMediaFile(const std::string& file_name, std::int64_t max_bytes) {
  struct stat info {};
  if (file_name.empty() || ::stat(file_name.c_str(), &info) != 0) {
    Refuse(file_name, "nicht gefunden");
  }
  CheckRegular(file_name, info, max_bytes);

  // Non-blocking, so that a FIFO slipped in after the check cannot hold the open.
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Refuse(file_name, "kein Zugriff");
  try {
    if (::fstat(fd, &info) != 0) Refuse(file_name, "kein Zugriff");
    CheckRegular(file_name, info, max_bytes);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  } catch (...) {
    ::close(fd);
    throw;
  }
  std::FILE* file = ::fdopen(fd, "rb");
  if (!file) {
    ::close(fd);
    Refuse(file_name, "kein Zugriff");
  }
  SDL_RWops* stream = SDL_RWFromFP(file, SDL_TRUE);
  if (!stream) {
    std::fclose(file);
    Refuse(file_name, "kein Zugriff");
  }
  return stream;
}

}  // namespace velmor::audio
