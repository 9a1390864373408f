#include "speech/hue_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <utility>

#include "platform/file_io.h"

namespace velmor {
namespace {

constexpr int kEntrySize = 88;
constexpr int kGroupSize = 708;
constexpr int kGroupHeaderSize = 4;
constexpr int kEntriesPerGroup = 8;
// Of an entry's 32 colour values only the last is used.
constexpr int kColorValueOffset = 62;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::int64_t HueEntryOffset(int hue) {
  const std::int64_t entry = static_cast<std::int64_t>(hue) - 1;
  // Division and remainder truncate toward zero, which is what gives hue 0 its -84.
  return (entry / kEntriesPerGroup) * kGroupSize + (entry % kEntriesPerGroup) * kEntrySize +
         kGroupHeaderSize;
}

TColor HueToRgb(int value) {
  const int r = (value >> 10) & 31;
  const int g = (value >> 5) & 31;
  const int b = value & 31;
  if (r == 31 || g == 31 || b == 31) return RGB((r & 15) * 4, (g & 15) * 4, (b & 15) * 4);
  return RGB(r * 8, g * 8, b * 8);
}

HueTable::HueTable(std::string file_name)
    : file_name_(std::move(file_name)), path_(PathFromText(file_name_)) {}

bool HueTable::ProbeHueFile() {
  const File file(OpenRegularFile(path_));
  if (file && std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    const long groups = size / kGroupSize;
    const long rest = size % kGroupSize - kGroupHeaderSize;
    entries_ = static_cast<std::size_t>(
        std::max(0L, groups * kEntriesPerGroup + std::clamp(rest / kEntrySize, 0L, 7L)));
  }
  available_.store(file != nullptr, std::memory_order_release);
  return file != nullptr;
}

TColor HueTable::GetHueColor(int hue) const {
  if (!HueFileAvailable()) return clBlack;
  File file(OpenRegularFile(path_));
  if (!file) return clBlack;
  const std::int64_t offset = HueEntryOffset(hue);
  // No hue file is anywhere near 2 GiB, and long may be 32 bits wide.
  if (offset > 0x7FFFFFFF - kEntrySize) return clBlack;
  // Positioning before the start fails and leaves the file at its start; that is how hue 0
  // gets its colour, so the outcome is ignored on purpose.
  std::fseek(file.get(), static_cast<long>(offset), SEEK_SET);
  std::array<unsigned char, kEntrySize> entry;
  // An entry cut off by the file's end gives black rather than half a colour.
  if (std::fread(entry.data(), 1, entry.size(), file.get()) != entry.size()) return clBlack;
  return HueToRgb(entry[kColorValueOffset] | (entry[kColorValueOffset + 1] << 8));
}

}  // namespace velmor
