#pragma once

#include <SDL_rwops.h>

#include <string>

// Opening a media file named by a game server, so that no name can hang or harm the program.
namespace velmor::audio {

// One open media file, closed with this object unless its descriptor was taken over.
class MediaFile {
 public:
  // Finds the file the server's name stands for (platform/windows_path.h) and opens it for
  // reading. Only regular files are opened: a directory, device, FIFO or socket is refused
  // before it is opened (opening some devices or a FIFO would block or act on them), and
  // checked again once open in case the name changed in between. Throws Exception, whose
  // text names the file as the server wrote it.
  explicit MediaFile(const std::string& name);
  MediaFile(MediaFile&& other) noexcept;
  MediaFile& operator=(MediaFile&&) = delete;
  MediaFile(const MediaFile&) = delete;
  ~MediaFile();

  // Where the file was found, in the file system's encoding.
  const std::string& Path() const { return path_; }
  // The open descriptor; -1 once taken over.
  int Descriptor() const { return descriptor_; }

  // A stream that owns the descriptor from now on; the caller owns the stream. Throws
  // Exception when no stream can be made (the descriptor is then closed).
  SDL_RWops* TakeStream();

 private:
  std::string name_;
  std::string path_;
  int descriptor_ = -1;
};

}  // namespace velmor::audio
