#include <gtest/gtest.h>

#include "platform/windows_path.h"

namespace velmor {
namespace {

// A server may name files on this machine only: never a host (Windows would connect to it
// and send the player's credentials), a namespace of the system's or a device.
TEST(WindowsNameTest, OnlyNamesOfLocalFilesAreLocal) {
  using enum WindowsNameKind;
  const struct {
    const char* name;
    WindowsNameKind kind;
  } cases[] = {
      {"sounds\\door.wav", kLocal},
      {"C:\\Spiele\\Musik\\intro.mid", kLocal},
      {"\\sounds\\door.wav", kLocal},
      {"sounds\\\\door.wav", kLocal},
      {"console.wav", kLocal},
      {"COM10.wav", kLocal},
      {"musik\\NULL.mid", kLocal},
      {"\\\\127.0.0.1\\x\\y.wav", kNetwork},
      {"//host/share/y.wav", kNetwork},
      {"\\/host\\y.wav", kNetwork},
      {"\\\\?\\C:\\y.wav", kNetwork},
      {"\\\\.\\pipe\\y", kNetwork},
      {"\\??\\UNC\\host\\y.wav", kNetwork},
      {"CON", kDevice},
      {"nul.wav", kDevice},
      {"sounds\\Aux .mid", kDevice},
      {"com1.wav", kDevice},
      {"LPT9", kDevice},
      {"lpt\xC2\xB9.wav", kDevice},
      {"CONOUT$", kDevice},
      {"prn\\door.wav", kDevice},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(KindOfWindowsName(row.name), row.kind) << row.name;
    if (row.kind != kLocal) {
      EXPECT_EQ(LocateWindowsPath(row.name), std::nullopt) << row.name;
    }
  }
}

}  // namespace
}  // namespace velmor
