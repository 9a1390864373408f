#include "platform/windows_path.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace velmor {
namespace {

namespace fs = std::filesystem;

// Names as a shard's scripts write them, against files on disk with UTF-8 names.
TEST(WindowsPathTest, ServerNamesFindTheFilesOnDisk) {
  const fs::path root = fs::temp_directory_path() / ("velmor_paths_" + std::to_string(::getpid()));
  fs::remove_all(root);
  for (const char* file :
       {"sounds/door.wav", "Glocke_l\u00e4uten.wav", "Musik/\u00c4rger.ogg", "both/Bell.wav",
        "both/bell.wav", "both/BELL.WAV", "twice/ONE.wav", "twice/One.wav", "sub/tiefer/Ende.mid",
        "file/x.wav", "FILE/y.wav", "\u65e5.wav", "\u0437\u0432\u0443\u043a.wav"}) {
    fs::create_directories((root / file).parent_path());
    std::ofstream(root / file) << "x";
  }
  const std::string base = root.string() + "/";

  const struct {
    const char* name;   // UTF-8 (where it is no UTF-8, Windows-1252), relative to root
    const char* found;  // UTF-8, relative to root; null: nothing
  } cases[] = {
      {"sounds/door.wav", "sounds/door.wav"},
      {"sounds\\door.wav", "sounds/door.wav"},
      {"sounds/DOOR.WAV", "sounds/door.wav"},
      {"SOUNDS\\Door.Wav", "sounds/door.wav"},
      {"sounds/door.wav ", "sounds/door.wav"},
      {"sounds. \\door.wav. .", "sounds/door.wav"},
      {"sounds\\\\door.wav", "sounds/door.wav"},
      {"sounds\\.\\..\\Sounds\\door.wav", "sounds/./../sounds/door.wav"},
      {"Glocke_l\xE4uten.wav", "Glocke_l\u00e4uten.wav"},
      {"GLOCKE_L\xC4UTEN.WAV", "Glocke_l\u00e4uten.wav"},
      {"musik\\\xE4rger.OGG", "Musik/\u00c4rger.ogg"},
      {"SUB\\Tiefer\\ende.MID", "sub/tiefer/Ende.mid"},
      {"both/bell.wav", "both/bell.wav"},  // exact beats the case-only matches
      {"both/BELL.WAV", "both/BELL.WAV"},
      {"both/bElL.wav", "both/BELL.WAV"},  // the first in byte order
      {"twice/one.wav", "twice/ONE.wav"},
      {"FILE\\x.wav", nullptr},      // the folder as written is taken
      {"sounds", "sounds"},          // the caller refuses what is no file
      {"\u65e5.wav", "\u65e5.wav"},  // any script, from Unicode speech
      {"\u0417\u0412\u0423\u041a.WAV", "\u0437\u0432\u0443\u043a.wav"},  // Cyrillic case
      {"?.wav", nullptr},
      {"sounds/door", nullptr},
      {"sounds/door.wav/x", nullptr},
      {"sounds/ . /door.wav", nullptr},
      {"missing/door.wav", nullptr},
  };
  for (const auto& row : cases) {
    const std::optional<std::string> found = LocateWindowsPath(base + row.name);
    if (row.found) {
      EXPECT_EQ(found, base + row.found) << row.name;
    } else {
      EXPECT_EQ(found, std::nullopt) << row.name;
    }
  }
  EXPECT_EQ(LocateWindowsPath(""), std::nullopt);
  EXPECT_EQ(LocateWindowsPath(base + std::string("sounds/door.wav\0x", 17)), std::nullopt);
  fs::remove_all(root);
}

}  // namespace
}  // namespace velmor
