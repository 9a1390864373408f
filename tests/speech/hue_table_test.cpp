#include "speech/hue_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace velmor {
namespace {

namespace fs = std::filesystem;

// A hue file of the given size, zero except for the 16-bit values put into it.
class HueFile {
 public:
  explicit HueFile(std::size_t size) : bytes_(size, 0) {}

  // Puts `value` where hue `hue` keeps its colour: byte 62 of its entry.
  void SetHueValue(int hue, std::uint16_t value) { Put(HueEntryOffset(hue) + 62, value); }
  void Put(std::int64_t offset, std::uint16_t value) {
    bytes_.at(static_cast<std::size_t>(offset)) = static_cast<char>(value & 0xFF);
    bytes_.at(static_cast<std::size_t>(offset) + 1) = static_cast<char>(value >> 8);
  }
  void WriteTo(const fs::path& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  }

 private:
  std::vector<char> bytes_;
};

class HueTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("velmor_hue_test_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    path_ = dir_ / "hues.mul";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  fs::path path_;
};

constexpr std::size_t kGroup = 708;

TEST(HueEntryOffsetTest, EntriesCountFromHueOneAcrossGroupHeaders) {
  EXPECT_EQ(HueEntryOffset(1), 4);
  EXPECT_EQ(HueEntryOffset(2), 92);
  EXPECT_EQ(HueEntryOffset(8), 620);
  EXPECT_EQ(HueEntryOffset(9), 712);
  EXPECT_EQ(HueEntryOffset(0), -84);
  EXPECT_EQ(HueEntryOffset(65535), 8191 * 708 + 6 * 88 + 4);
}

TEST(HueToRgbTest, ConvertsAndDimsFullComponents) {
  struct Case {
    int value;
    TColor rgb;
  };
  const Case cases[] = {
      {0x0000, RGB(0, 0, 0)},    {0x4210, RGB(128, 128, 128)}, {0x7BDE, RGB(240, 240, 240)},
      {0x7FFF, RGB(60, 60, 60)}, {0x7D00, RGB(60, 32, 0)},     {0x001F, RGB(0, 0, 60)},
      {0x8000, RGB(0, 0, 0)},    {0xFBDE, RGB(240, 240, 240)}, {0x03E0, RGB(0, 60, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HueToRgb(c.value), c.rgb) << std::hex << "value 0x" << c.value;
  }
}

TEST_F(HueTableTest, ReadsTheLastColourValueOfTheHuesEntry) {
  HueFile file(3 * kGroup);
  const int hues[] = {1, 2, 8, 9, 16, 17};
  std::uint16_t value = 0x0421;
  for (const int hue : hues) {
    file.SetHueValue(hue, value);
    // The neighbouring colour values must not be taken instead.
    file.Put(HueEntryOffset(hue) + 60, 0x7BDE);
    value = static_cast<std::uint16_t>(value + 0x0421);
  }
  file.WriteTo(path_);

  HueTable table(path_.string());
  ASSERT_TRUE(table.ProbeHueFile());
  value = 0x0421;
  for (const int hue : hues) {
    EXPECT_EQ(table.GetHueColor(hue), HueToRgb(value)) << "hue " << hue;
    value = static_cast<std::uint16_t>(value + 0x0421);
  }
}

TEST_F(HueTableTest, HueZeroReadsTheValueAtOffset62) {
  HueFile file(kGroup);
  file.Put(62, 0x4210);
  file.WriteTo(path_);
  HueTable table(path_.string());
  table.ProbeHueFile();
  EXPECT_EQ(table.GetHueColor(0), RGB(128, 128, 128));
}

TEST_F(HueTableTest, EntryNotWhollyInsideTheFileIsBlack) {
  // Hue 9's entry runs from 712 to 799; the file ends one byte short of it.
  HueFile file(static_cast<std::size_t>(HueEntryOffset(9)) + 87);
  file.SetHueValue(9, 0x4210);
  file.SetHueValue(8, 0x4210);
  file.WriteTo(path_);
  HueTable table(path_.string());
  table.ProbeHueFile();
  EXPECT_EQ(table.GetHueColor(8), RGB(128, 128, 128));
  EXPECT_EQ(table.GetHueColor(9), clBlack);
  EXPECT_EQ(table.GetHueColor(500), clBlack);
  EXPECT_EQ(table.GetHueColor(65535), clBlack);

  // One byte more and the entry is complete.
  HueFile whole(static_cast<std::size_t>(HueEntryOffset(9)) + 88);
  whole.SetHueValue(9, 0x4210);
  whole.WriteTo(path_);
  EXPECT_EQ(table.GetHueColor(9), RGB(128, 128, 128));
}

TEST_F(HueTableTest, FileTooShortForHueZeroIsBlack) {
  HueFile file(80);
  file.Put(62, 0x4210);
  file.WriteTo(path_);
  HueTable table(path_.string());
  table.ProbeHueFile();
  EXPECT_EQ(table.GetHueColor(0), clBlack);
}

TEST_F(HueTableTest, FileMissingAtProbeKeepsEveryHueBlack) {
  HueTable table(path_.string());
  EXPECT_FALSE(table.ProbeHueFile());
  HueFile file(kGroup);
  file.SetHueValue(1, 0x4210);
  file.WriteTo(path_);
  EXPECT_EQ(table.GetHueColor(1), clBlack);
}

TEST_F(HueTableTest, WithoutProbeEveryHueIsBlack) {
  HueFile file(kGroup);
  file.SetHueValue(1, 0x4210);
  file.WriteTo(path_);
  HueTable table(path_.string());
  EXPECT_EQ(table.GetHueColor(1), clBlack);
}

TEST_F(HueTableTest, EveryLookupReadsTheFileAfresh) {
  HueFile file(kGroup);
  file.SetHueValue(1, 0x4210);
  file.WriteTo(path_);
  HueTable table(path_.string());
  ASSERT_TRUE(table.ProbeHueFile());
  EXPECT_EQ(table.GetHueColor(1), RGB(128, 128, 128));

  fs::remove(path_);
  EXPECT_EQ(table.GetHueColor(1), clBlack);

  file.SetHueValue(1, 0x7D00);
  file.WriteTo(path_);
  EXPECT_EQ(table.GetHueColor(1), RGB(60, 32, 0));
}

TEST_F(HueTableTest, LookupsFromSeveralThreadsAgree) {
  HueFile file(2 * kGroup);
  for (int hue = 1; hue <= 16; ++hue) file.SetHueValue(hue, static_cast<std::uint16_t>(hue * 33));
  file.WriteTo(path_);
  HueTable table(path_.string());
  table.ProbeHueFile();

  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        for (int hue = 1; hue <= 16; ++hue) {
          if (table.GetHueColor(hue) != HueToRgb(hue * 33)) ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace velmor
