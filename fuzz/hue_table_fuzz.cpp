// The hue lookup over arbitrary hue files and hues: the colour of every hue must be the one a
// plain reading of the file gives (the entry's last colour value, or black when the entry is
// not wholly inside the file; a hue whose entry would start before the file reads the entry
// at its start), and no lookup may read outside its buffer whatever the file's size.
//
// Input: up to four hues (mostly small, so that they land inside a small file; some of any
// int value), then the file's bytes.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_folder.h"
#include "speech/hue_table.h"

namespace {

// The colour of a 15-bit value, worked out per component.
velmor::TColor ExpectedRgb(int value) {
  int parts[3] = {(value >> 10) & 31, (value >> 5) & 31, value & 31};
  const bool dimmed = parts[0] == 31 || parts[1] == 31 || parts[2] == 31;
  for (int& part : parts) part = dimmed ? (part & 15) * 4 : part * 8;
  return static_cast<velmor::TColor>(parts[0] | parts[1] << 8 | parts[2] << 16);
}

velmor::TColor ExpectedColor(const std::vector<std::uint8_t>& file, int hue) {
  // Entries of 88 bytes from hue 1, eight to a 708-byte group led by a 4-byte header.
  const std::int64_t entry = static_cast<std::int64_t>(hue) - 1;
  std::int64_t offset = (entry / 8) * 708 + (entry % 8) * 88 + 4;
  if (offset < 0) offset = 0;
  if (offset + 88 > static_cast<std::int64_t>(file.size())) return velmor::clBlack;
  const auto at = static_cast<std::size_t>(offset) + 62;
  return ExpectedRgb(file[at] | file[at + 1] << 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFolder folder("velmor_hue_fuzz");
  FuzzedDataProvider provider(data, size);
  std::vector<int> hues(provider.ConsumeIntegralInRange(1, 4));
  for (int& hue : hues) {
    hue = provider.ConsumeBool() ? provider.ConsumeIntegralInRange(-2, 100)
                                 : provider.ConsumeIntegral<int>();
  }
  const std::vector<std::uint8_t> file = provider.ConsumeRemainingBytes<std::uint8_t>();

  const std::filesystem::path path = folder.path() / "hues.mul";
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  velmor::HueTable table(path.string());
  FUZZ_CHECK(table.ProbeHueFile());
  for (const int hue : hues) {
    FUZZ_CHECK(table.GetHueColor(hue) == ExpectedColor(file, hue));
    FUZZ_CHECK(velmor::HueToRgb(hue) == ExpectedRgb(hue));
  }
  return 0;
}
