#include "platform/windows_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/file_io.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// Names as a shard's scripts write them: Windows finds them itself, whatever their case.
TEST(WindowsPathTest, ServerNamesFindTheFilesOnDisk) {
  const fs::path root = fs::temp_directory_path() / "velmor_paths";
  fs::remove_all(root);
  fs::create_directories(root / "sounds");
  std::ofstream(root / "sounds" / "door.wav") << "x";
  std::ofstream(root / L"Glocke_l\u00e4uten.wav") << "x";
  const std::string base = TextFromPath(root) + "\\";

  const struct {
    const char* name;  // Windows-1252, relative to root
    bool found;
  } cases[] = {
      {"sounds/door.wav", true},        {"SOUNDS\\Door.Wav", true},
      {"sounds. \\door.wav. .", true},  {"GLOCKE_L\xC4UTEN.WAV", true},
      {"sounds\\door", false},          {"sounds\\door.wav\\x", false},
      {"sounds\\ . \\door.wav", false}, {"missing\\door.wav", false},
  };
  for (const auto& row : cases) {
    const std::optional<std::string> found = LocateWindowsPath(base + row.name);
    EXPECT_EQ(found.has_value(), row.found) << row.name;
    if (found) {
      EXPECT_TRUE(fs::exists(PathFromText(*found))) << row.name;
    }
  }
  EXPECT_EQ(LocateWindowsPath(""), std::nullopt);
  EXPECT_EQ(LocateWindowsPath(base + std::string("sounds/door.wav\0x", 17)), std::nullopt);
  fs::remove_all(root);
}

}  // namespace
}  // namespace velmor
