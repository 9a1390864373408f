#pragma once

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>

namespace velmor::testing {

// A fresh folder for one test's media files, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    static std::atomic<int> count{0};
    path_ = std::filesystem::temp_directory_path() /
            ("velmor_audio_" + std::to_string(::getpid()) + "_" + std::to_string(++count));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A 16-bit mono PCM wave file holding a 440 Hz sine.
inline void WriteToneWav(const std::string& path, double seconds, int rate = 22050) {
  const auto frames = static_cast<std::uint32_t>(seconds * rate);
  const std::uint32_t data_bytes = frames * 2;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&out](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  auto u16 = [&out](std::uint16_t v) {
    out.put(static_cast<char>(v & 0xFF));
    out.put(static_cast<char>(v >> 8));
  };
  out.write("RIFF", 4);
  u32(36 + data_bytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);  // PCM
  u16(1);  // mono
  u32(static_cast<std::uint32_t>(rate));
  u32(static_cast<std::uint32_t>(rate) * 2);
  u16(2);
  u16(16);
  out.write("data", 4);
  u32(data_bytes);
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    u16(static_cast<std::uint16_t>(
        static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * t))));
  }
}

// Converts a file with sox; false when sox is not installed or fails.
inline bool ConvertWithSox(const std::string& from, const std::string& to) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) return false;
  const std::string command = "sox '" + from + "' '" + to + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace velmor::testing
