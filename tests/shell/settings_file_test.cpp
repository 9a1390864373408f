#include "shell/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/system.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(SplitSettingsText, EveryKindOfLineBreakEndsALine) {
  EXPECT_EQ(SplitSettingsText("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitSettingsText("a\nb\n"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitSettingsText("a\rb\r"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitSettingsText("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  // LF CR is two breaks, not one.
  EXPECT_EQ(SplitSettingsText("a\n\rb"), (Lines{"a", "", "b"}));
}

TEST(SplitSettingsText, NulEndsTheText) {
  EXPECT_EQ(SplitSettingsText(std::string("2600\r\n12\0"
                                          "7.0.0.1\r\nx\r\n",
                                          19)),
            (Lines{"2600", "12"}));
  EXPECT_EQ(SplitSettingsText(std::string("\0a\r\n", 4)), Lines{});
}

TEST(SplitSettingsText, LastLineWithoutBreakCountsButTrailingBreakAddsNothing) {
  EXPECT_EQ(SplitSettingsText("a\r\nb"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitSettingsText("a\r\n"), Lines{"a"});
  EXPECT_EQ(SplitSettingsText(""), Lines{});
  EXPECT_EQ(SplitSettingsText("\r\n"), Lines{""});
}

TEST(SplitSettingsText, EmptyLinesKeptAndNothingTrimmed) {
  EXPECT_EQ(SplitSettingsText("\r\n\r\n x \r\nStart \r\n\tAnim"),
            (Lines{"", "", " x ", "Start ", "\tAnim"}));
  // Windows-1252 bytes pass through untouched.
  EXPECT_EQ(SplitSettingsText("Gespr\xE4"
                              "che\n"),
            Lines{"Gespr\xE4"
                  "che"});
}

TEST(JoinSettingsLines, EveryLineEndsWithCrLf) {
  EXPECT_EQ(JoinSettingsLines({"2592", "", "x"}), "2592\r\n\r\nx\r\n");
  EXPECT_EQ(JoinSettingsLines({}), "");
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("velmor_settings_" + std::to_string(random()));
    fs::create_directories(dir_);
    file_ = dir_ / kSettingsFileName;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static void WriteRaw(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadRaw(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<fs::path> DirectoryEntries() const {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dir_)) entries.push_back(entry.path());
    return entries;
  }

  fs::path dir_;
  fs::path file_;
};

TEST_F(SettingsFileTest, ReadsLfOnlyFileAndWritesItBackWithCrLf) {
  WriteRaw(file_, "2600\n127.0.0.1\n2601\nStart\nShow\nNoAnim\n");
  auto lines = ReadSettingsFile(file_);
  ASSERT_TRUE(lines.has_value());
  EXPECT_EQ(*lines, (Lines{"2600", "127.0.0.1", "2601", "Start", "Show", "NoAnim"}));

  ASSERT_TRUE(WriteSettingsFile(*lines, file_));
  EXPECT_EQ(ReadRaw(file_), "2600\r\n127.0.0.1\r\n2601\r\nStart\r\nShow\r\nNoAnim\r\n");
}

TEST_F(SettingsFileTest, LinesBeyondTheSixthSurviveARoundTrip) {
  const std::string content = "1\r\n2\r\n3\r\nStop\r\nShow\r\nAnim\r\n# note \xE9\r\n\r\nlast\r\n";
  WriteRaw(file_, content);
  auto lines = ReadSettingsFile(file_);
  ASSERT_TRUE(lines.has_value());
  ASSERT_EQ(lines->size(), 9u);
  EXPECT_EQ((*lines)[6], "# note \xE9");
  ASSERT_TRUE(WriteSettingsFile(*lines, file_));
  EXPECT_EQ(ReadRaw(file_), content);
}

TEST_F(SettingsFileTest, ReadStopsAtNul) {
  WriteRaw(file_, std::string("2592\r\nab\0cd\r\n3\r\n", 16));
  EXPECT_EQ(ReadSettingsFile(file_), (Lines{"2592", "ab"}));
}

TEST_F(SettingsFileTest, EmptyFileReadsAsNoLines) {
  WriteRaw(file_, "");
  EXPECT_EQ(ReadSettingsFile(file_), Lines{});
}

TEST_F(SettingsFileTest, MissingFileCannotBeRead) {
  EXPECT_EQ(ReadSettingsFile(file_), std::nullopt);
}

TEST_F(SettingsFileTest, DirectoryInPlaceOfTheFileCannotBeRead) {
  fs::create_directory(file_);
  EXPECT_EQ(ReadSettingsFile(file_), std::nullopt);
}

TEST_F(SettingsFileTest, SaveReplacesLongerOldContentCompletely) {
  WriteRaw(file_, "a much longer old line\r\nand more\r\nand more\r\n");
  ASSERT_TRUE(WriteSettingsFile({"x"}, file_));
  EXPECT_EQ(ReadRaw(file_), "x\r\n");
  EXPECT_EQ(DirectoryEntries(), std::vector<fs::path>{file_});
}

TEST_F(SettingsFileTest, SaveIntoUnreachableFolderFailsAndCreatesNothing) {
  // A regular file where the folder should be: root cannot write there either.
  const fs::path blocker = dir_ / "not_a_folder";
  WriteRaw(blocker, "old");
  EXPECT_FALSE(WriteSettingsFile({"2592"}, blocker / kSettingsFileName));
  EXPECT_EQ(ReadRaw(blocker), "old");
  EXPECT_EQ(DirectoryEntries(), std::vector<fs::path>{blocker});
}

TEST_F(SettingsFileTest, FailedReplaceKeepsTheOldEntryAndRemovesTheTemporaryFile) {
  // The temporary file can be written, but renaming it over a non-empty folder fails.
  fs::create_directory(file_);
  WriteRaw(file_ / "inside", "kept");
  EXPECT_FALSE(WriteSettingsFile({"2592", "127.0.0.1"}, file_));
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_EQ(ReadRaw(file_ / "inside"), "kept");
  EXPECT_EQ(DirectoryEntries(), std::vector<fs::path>{file_});
}

// A virus scanner holds the old file just when it is to be replaced, and lets go as soon as
// it has looked at the new one: the save waits for it rather than failing.
TEST_F(SettingsFileTest, SaveWaitsForAScannerThatHoldsTheFileAMoment) {
  if (!testing::ReplaceBlocker::kPossible) GTEST_SKIP() << testing::kNoReplaceBlocker;
  WriteRaw(file_, "old\r\n");
  auto scanner = std::make_unique<testing::ReplaceBlocker>(file_);
  ASSERT_TRUE(scanner->Holds());
  std::thread lets_go([&] {
    while (DirectoryEntries().size() < 2) std::this_thread::yield();
    scanner.reset();
  });
  const bool saved = WriteSettingsFile({"new"}, file_);
  lets_go.join();
  EXPECT_TRUE(saved);
  EXPECT_EQ(ReadRaw(file_), "new\r\n");
}

TEST(SettingsDefaults, FieldTextsThenStopShowAnim) {
  EXPECT_EQ(DefaultSettingsLines("2592", "127.0.0.1", "2593"),
            (Lines{"2592", "127.0.0.1", "2593", "Stop", "Show", "Anim"}));
  EXPECT_EQ(DefaultSettingsLines("1", "", "3"), (Lines{"1", "", "3", "Stop", "Show", "Anim"}));
}

TEST(SettingsDefaults, PaddingFillsOnlyTheMissingPositions) {
  const Lines defaults = DefaultSettingsLines("2592", "127.0.0.1", "2593");

  Lines two{"2600", ""};
  PadSettingsLines(two, defaults);
  EXPECT_EQ(two, (Lines{"2600", "", "2593", "Stop", "Show", "Anim"}));

  Lines none;
  PadSettingsLines(none, defaults);
  EXPECT_EQ(none, defaults);

  Lines five{"1", "2", "3", "Start", "Hide"};
  PadSettingsLines(five, defaults);
  EXPECT_EQ(five, (Lines{"1", "2", "3", "Start", "Hide", "Anim"}));

  Lines seven{"1", "2", "3", "Start", "Hide", "NoAnim", "extra"};
  PadSettingsLines(seven, defaults);
  EXPECT_EQ(seven.size(), 7u);
  EXPECT_EQ(seven[6], "extra");
}

}  // namespace
}  // namespace velmor
