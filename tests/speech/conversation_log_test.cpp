#include "speech/conversation_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/exception.h"
#include "platform/time_text.h"
#include "tests/support/program_output.h"
#include "tests/support/rtf_reader.h"
#include "tests/support/sample_time.h"
#include "tests/support/system.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ConversationLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("velmor_log_test_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A start line, `between` message lines and an end line.
  void FillLog(int between) {
    log_.WriteStartLine(testing::SampleTime());
    for (int i = 0; i < between; ++i) {
      log_.AppendLogLine("09:00:0" + std::to_string(i % 10) + " [Anna] Zeile", RGB(60, 32, 0));
    }
    log_.WriteEndLine(testing::SampleTime());
  }

  fs::path dir_;
  ConversationLog log_;
};

TEST(LogFileNameTest, NamesDateAndMinuteWithTwoDigitFields) {
  EXPECT_EQ(TwoDigits(0), "00");
  EXPECT_EQ(TwoDigits(9), "09");
  EXPECT_EQ(TwoDigits(10), "10");
  EXPECT_EQ(TwoDigits(2026), "2026");
  EXPECT_EQ(LogFileName(testing::SampleTime()), "Velmor_Logfile_20260203_0905.rtf");
  std::tm late = testing::SampleTime();
  late.tm_mon = 11;
  late.tm_mday = 31;
  late.tm_hour = 23;
  late.tm_min = 59;
  EXPECT_EQ(LogFileName(late), "Velmor_Logfile_20261231_2359.rtf");
}

TEST(TimeTextTest, FormatsInTheGivenLocale) {
  EXPECT_EQ(TimeText(testing::SampleTime(), std::locale::classic()), "09:05:42");
  EXPECT_EQ(DateText(testing::SampleTime(), std::locale::classic()), "02/03/26");
  EXPECT_FALSE(TimeText().empty());
  EXPECT_FALSE(DateText().empty());
}

TEST_F(ConversationLogTest, ObserverSeesEachNewLineOnce) {
  std::vector<LogLine> seen;
  log_.AddObserver([&](LogLineView line) { seen.push_back(line.Copy()); });
  log_.AppendLogLine("a", RGB(1, 2, 3), LogStyle::kItalic);
  log_.AppendLogLine("b");
  log_.AppendLogLine(LogLine{"c", clBlack, LogStyle::kBoldItalic});
  EXPECT_THAT(seen, ElementsAre(LogLine{"a", RGB(1, 2, 3), LogStyle::kItalic},
                                LogLine{"b", clBlack, LogStyle::kRegular},
                                LogLine{"c", clBlack, LogStyle::kBoldItalic}));
  EXPECT_EQ(log_.LineCount(), 3);
  EXPECT_EQ(log_.Line(1), seen[1]);
}

TEST_F(ConversationLogTest, StartAndEndLinesAreBlackAndRegular) {
  log_.AppendLogLine("x", RGB(9, 9, 9), LogStyle::kBoldItalic);
  log_.WriteStartLine(testing::SampleTime());
  log_.WriteEndLine(testing::SampleTime());
  const std::string stamp = DateText(testing::SampleTime()) + " " + TimeText(testing::SampleTime());
  EXPECT_EQ(log_.Line(1), (LogLine{stamp + " --- Start Logging ---"}));
  EXPECT_EQ(log_.Line(2), (LogLine{stamp + " --- End Logging ---"}));
}

TEST_F(ConversationLogTest, StartAndEndLineAloneWriteNoFile) {
  FillLog(0);
  EXPECT_EQ(log_.SaveLogFile(dir_.string(), testing::SampleTime()), std::nullopt);
  EXPECT_TRUE(FilesIn(dir_).empty());
}

TEST_F(ConversationLogTest, OneLineBetweenWritesAThreeParagraphFile) {
  FillLog(1);
  const auto written = log_.SaveLogFile(dir_.string(), testing::SampleTime());
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, (dir_ / "Velmor_Logfile_20260203_0905.rtf").string());
  EXPECT_THAT(FilesIn(dir_), ElementsAre("Velmor_Logfile_20260203_0905.rtf"));

  const auto doc = testing::ReadRtf(testing::ReadFile(*written));
  ASSERT_TRUE(doc.ok()) << doc.error;
  EXPECT_EQ(doc.fonts, std::vector<std::string>{"MS Sans Serif"});
  ASSERT_EQ(doc.paragraphs.size(), 3u);
  EXPECT_EQ(doc.paragraphs[1].Text(), log_.Line(1).text);
  EXPECT_EQ(testing::RunColor(doc, doc.paragraphs[1].runs[0]), RGB(60, 32, 0));
}

TEST_F(ConversationLogTest, RunsEndingInTheSameMinuteKeepEachOthersLogs) {
  FillLog(1);
  const std::string first = *log_.SaveLogFile(dir_.string(), testing::SampleTime());
  const std::string first_content = testing::ReadFile(first);
  log_.AppendLogLine("mehr");
  const std::string second = *log_.SaveLogFile(dir_.string(), testing::SampleTime());
  const std::string third = *log_.SaveLogFile(dir_.string(), testing::SampleTime());

  EXPECT_EQ(second, (dir_ / "Velmor_Logfile_20260203_0905_2.rtf").string());
  EXPECT_EQ(third, (dir_ / "Velmor_Logfile_20260203_0905_3.rtf").string());
  EXPECT_EQ(testing::ReadFile(first), first_content);
  EXPECT_NE(testing::ReadFile(second), first_content);
  // Nothing but the logs: no temporary file is left behind.
  EXPECT_THAT(FilesIn(dir_),
              ElementsAre("Velmor_Logfile_20260203_0905.rtf", "Velmor_Logfile_20260203_0905_2.rtf",
                          "Velmor_Logfile_20260203_0905_3.rtf"));
}

TEST_F(ConversationLogTest, TakenNameOfAnyKindIsNeverReplaced) {
  { std::ofstream(dir_ / "Velmor_Logfile_20260203_0905.rtf") << "fremd"; }
  fs::create_directory(dir_ / "Velmor_Logfile_20260203_0905_2.rtf");
  // A dangling link counts as taken too: following it would write elsewhere. (Windows lets
  // only some users make links.)
  std::error_code no_link;
  fs::create_symlink(dir_ / "nirgends", dir_ / "Velmor_Logfile_20260203_0905_3.rtf", no_link);
  FillLog(1);
  EXPECT_EQ(*log_.SaveLogFile(dir_.string(), testing::SampleTime()),
            (dir_ / (no_link ? "Velmor_Logfile_20260203_0905_3.rtf"
                             : "Velmor_Logfile_20260203_0905_4.rtf"))
                .string());
  EXPECT_EQ(testing::ReadFile(dir_ / "Velmor_Logfile_20260203_0905.rtf"), "fremd");
  EXPECT_FALSE(fs::exists(dir_ / "nirgends"));
}

TEST_F(ConversationLogTest, UnwritableFolderRaisesTheReasonInGerman) {
  // Root may write anywhere, so make the folder impossible rather than forbidden.
  { std::ofstream(dir_ / "datei") << "x"; }
  FillLog(1);
  for (const fs::path& folder : {dir_ / "datei" / "unter", dir_ / "fehlt"}) {
    const std::string prefix = "Die Logdatei \"" +
                               (folder / "Velmor_Logfile_20260203_0905.rtf").string() +
                               "\" konnte nicht geschrieben werden: ";
    try {
      log_.SaveLogFile(folder.string(), testing::SampleTime());
      ADD_FAILURE() << "no error for " << folder;
    } catch (const Exception& error) {
      EXPECT_THAT(error.what(), StartsWith(prefix));
      EXPECT_GT(std::string(error.what()).size(), prefix.size()) << "no reason given";
    }
  }
  EXPECT_THAT(FilesIn(dir_), ElementsAre("datei"));
}

TEST_F(ConversationLogTest, WriteFailingMidwayLeavesNoFile) {
  if (!testing::FileSizeLimit::kPossible) GTEST_SKIP() << testing::kNoFileSizeLimit;
  FillLog(2000);
  std::string message;
  {
    // A file size limit makes the write fail partway through, as a full disk would.
    testing::FileSizeLimit limit(4096);
    try {
      log_.SaveLogFile(dir_.string(), testing::SampleTime());
    } catch (const Exception& error) {
      message = error.what();
    }
  }

  EXPECT_THAT(message, HasSubstr("Velmor_Logfile_20260203_0905.rtf\" konnte nicht geschrieben "
                                 "werden: " +
                                 std::make_error_code(std::errc::file_too_large).message()));
  EXPECT_TRUE(FilesIn(dir_).empty());
}

}  // namespace
}  // namespace velmor
