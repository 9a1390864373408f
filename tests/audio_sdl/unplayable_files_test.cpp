// A server may name any file, as often as it likes: a file that cannot be played must be
// refused without keeping anything of it, or a stream of such requests would use up the
// process's file descriptors (and with them the relay's sockets and the log file at exit).
#include <dirent.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio_sdl/sdl_media_system.h"
#include "platform/exception.h"
#include "tests/audio_sdl/media_files.h"
#include "tests/fakes/queue_dispatcher.h"

namespace velmor {
namespace {

int OpenDescriptors() {
  int count = 0;
  DIR* folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  while (::readdir(folder) != nullptr) ++count;
  ::closedir(folder);
  return count;
}

TEST(UnplayableFilesTest, RefusedFilesKeepNoDescriptorOpen) {
  ::setenv("SDL_AUDIODRIVER", "dummy", 0);
  testing::ScratchFolder folder;
  testing::QueueDispatcher dispatcher;
  SdlMediaSystem media(dispatcher);
  // Short files of every length around the loaders' 4- and 12-byte header reads, with and
  // without the start of a known header, and some longer text.
  std::vector<std::string> names;
  for (const std::string start : {"", "OggS", "fLaC", "MThd", "ID3", "RIFF", "note"}) {
    for (std::size_t length = start.size(); length <= 14; ++length) {
      names.push_back(folder / (std::to_string(names.size()) + ".wav"));
      testing::WriteText(names.back(), start + std::string(length - start.size(), 'x'));
    }
  }
  names.push_back(folder / "notes.ogg");
  testing::WriteText(names.back(), std::string(300, 'n'));

  // Each file is refused, or (a header SDL_mixer makes an empty sound of) opened and
  // closed again at once; either way nothing of it may stay open.
  auto open_and_close = [&media](const std::string& name, MediaKind kind) {
    try {
      media.Open(name, kind);
    } catch (const Exception&) {
    }
  };
  // The first use sets up the audio session, which keeps descriptors of its own.
  open_and_close(names.back(), MediaKind::kSound);
  const int before = OpenDescriptors();
  ASSERT_GT(before, 0);
  for (const std::string& name : names) {
    open_and_close(name, MediaKind::kSound);
    open_and_close(name, MediaKind::kMusic);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace velmor
