#pragma once

#include <SDL_rwops.h>

#include <cstdint>
#include <string>

// Opening a media file named by a game server, so that no name can hang or harm the program.
namespace velmor::audio {

// Opens the file for reading, named as it stands. Only regular files are opened: a
// directory, device, FIFO or socket is refused before it is opened (opening some devices or
// a FIFO would block or act on them), and checked again once open in case the name changed
// in between. A file larger than max_bytes is refused. Throws Exception; the caller owns
// the stream.
SDL_RWops* OpenMediaFile(const std::string& file_name, std::int64_t max_bytes);

}  // namespace velmor::audio
