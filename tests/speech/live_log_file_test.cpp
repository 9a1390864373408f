#include "speech/live_log_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "speech/live_log_recovery.h"
#include "tests/fakes/manual_timers.h"
#include "tests/support/program_output.h"
#include "tests/support/rtf_reader.h"
#include "tests/support/sample_time.h"
#include "tests/support/system.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// The log's lines, kept apart from it.
std::vector<LogLine> Kept(const ConversationLog& log) {
  std::vector<LogLine> lines;
  for (const LogLineView line : log.Lines()) lines.push_back(line.Copy());
  return lines;
}

// 09:05:42 local time on 3 February 2026.
std::time_t NewestLineTime() {
  std::tm when = testing::SampleTime();
  return std::mktime(&when);
}

class LiveLogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("velmor_live_test_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Append(ConversationLog& log, LiveLogFile& live, LogLine line) {
    log.AppendLogLine(std::move(line));
    live.LineAppended(NewestLineTime());
  }

  // What a reader sees in the file: every line of the log so far, in its colour and style.
  void ExpectFileHolds(const fs::path& path, const std::vector<LogLine>& lines) {
    const auto doc = testing::ReadRtf(testing::ReadFile(path));
    ASSERT_TRUE(doc.ok()) << doc.error;
    ASSERT_EQ(doc.paragraphs.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      ASSERT_EQ(doc.paragraphs[i].runs.size(), 1u) << i;
      const testing::RtfRun& run = doc.paragraphs[i].runs[0];
      EXPECT_EQ(run.text, testing::AsShown(lines[i].text)) << i;
      EXPECT_EQ(testing::RunColor(doc, run), lines[i].color) << i;
      EXPECT_EQ(run.italic, lines[i].style != LogStyle::kRegular) << i;
      EXPECT_EQ(run.bold, lines[i].style == LogStyle::kBoldItalic) << i;
    }
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  testing::ManualTimers timers_;
};

// New colours go into the table's room in place; after every tick a reader finds every line
// so far. Left behind, the file becomes the log file the exit would have written, named by
// the newest line's time.
TEST_F(LiveLogFileTest, EveryTickLeavesACompleteDocumentThatBecomesTheLogFile) {
  ConversationLog log;
  LiveLogFile live(log, dir_, timers_);
  live.ExpectColors(300);
  Append(log, live, {"03.02.2026 09:00:00 --- Start Logging ---"});
  EXPECT_FALSE(live.Tick());
  EXPECT_TRUE(Files().empty()) << "the start line alone is not worth a file";

  for (int i = 0; i < 300; ++i) {
    Append(log, live,
           {"09:0" + std::to_string(i % 10) +
                " [Anna] {\\} Gr\xFC\xDF"
                "e\t" +
                std::to_string(i),
            RGB(i % 256, i / 256 * 40, 7), static_cast<LogStyle>(i % 3)});
    if (i % 7 != 0) continue;
    live.Tick();
    ASSERT_EQ(live.Path(), dir_ / "Velmor_Logfile_laufend.rtf");
    ExpectFileHolds(live.Path(), Kept(log));
    ASSERT_THAT(Files(), ElementsAre("Velmor_Logfile_laufend.rtf"));
  }
  // Once written and synced, the file asks for no more ticks.
  int ticks = 1;
  while (live.Tick() && ticks <= LiveLogFile::kTicksPerSync) ++ticks;
  EXPECT_LE(ticks, LiveLogFile::kTicksPerSync);
  live.Close();

  EXPECT_THAT(RecoverLiveLogFiles(dir_),
              ElementsAre((dir_ / "Velmor_Logfile_20260203_0905.rtf").string()));
  EXPECT_EQ(testing::ReadFile(dir_ / "Velmor_Logfile_20260203_0905.rtf"),
            RtfDocument(log.Lines(), RtfFont{"MS Sans Serif", 8}));
  EXPECT_THAT(Files(), ElementsAre("Velmor_Logfile_20260203_0905.rtf"));
}

// New lines and colours go into the file in place, never into a copy that would replace it:
// a reader holding the file open (a viewer, a virus scanner) sees them, a full disk needs
// room only for what is new, and nothing is written twice.
TEST_F(LiveLogFileTest, NewLinesAndColoursGoIntoTheFileInPlace) {
  ConversationLog log;
  LiveLogFile live(log, dir_, timers_);
  live.ExpectColors(400);
  for (const char* text : {"Start", "09:00 [Anna] Hallo"}) Append(log, live, {text});
  live.Tick();
  const fs::path path = live.Path();
  std::ifstream viewer(path, std::ios::binary);
  const auto size = fs::file_size(path);
  {
    // Room for the new lines, not for a second copy of the file.
    testing::FileSizeLimit limit(size + 12000);
    for (int i = 0; i < 300; ++i) Append(log, live, {"09:01 [Bert] Farbe", RGB(i, 1, 2)});
    live.Tick();
  }
  EXPECT_EQ(live.Path(), path);
  ExpectFileHolds(path, Kept(log));
  const std::string seen{std::istreambuf_iterator<char>(viewer), {}};
  EXPECT_NE(seen.find("Farbe"), std::string::npos) << "the file was replaced, not written";
}

// Someone removed the file while the program ran: the next tick makes it again, whole.
TEST_F(LiveLogFileTest, RemovedFileIsMadeAgain) {
  ConversationLog log;
  LiveLogFile live(log, dir_, timers_);
  for (const char* text : {"Start", "eins"}) Append(log, live, {text});
  live.Tick();
  fs::remove(live.Path());
  Append(log, live, {"zwei"});
  live.Tick();
  ASSERT_FALSE(live.Path().empty());
  ExpectFileHolds(live.Path(), Kept(log));
}

// What does not read (a foreign editor's byte, a stretch of damage) is passed over: every
// line around it is recovered, and the original stays beside the log, as nothing in it
// may be lost. A newest-line time no run can have had names the log by the file's time.
TEST_F(LiveLogFileTest, DamageIsPassedOverAndTheOriginalKept) {
  ConversationLog log;
  {
    LiveLogFile live(log, dir_, timers_);
    for (int i = 0; i < 41; ++i) Append(log, live, {"Zeile " + std::to_string(i)});
  }
  const std::string whole = testing::ReadFile(dir_ / "Velmor_Logfile_laufend.rtf");
  fs::remove(dir_ / "Velmor_Logfile_laufend.rtf");
  const std::size_t line_6 = whole.find("Zeile 6");
  const std::string damages[] = {"\\zz", std::string(8 << 20, 'x')};
  for (const std::string& damage : damages) {
    std::string damaged = whole;
    damaged.replace(line_6, 5, damage);  // "Zeile 6" loses its word
    damaged.replace(damaged.rfind("velmornewestline ") + 17, 10, "9999999999");
    const fs::path path = dir_ / "Velmor_Logfile_laufend.rtf";
    std::ofstream(path, std::ios::binary) << damaged;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24));
    const auto written = RecoverLiveLogFiles(dir_);
    ASSERT_EQ(written.size(), 1u);
    std::vector<LogLine> kept = Kept(log);
    kept.erase(kept.begin() + 6);
    EXPECT_EQ(testing::ReadFile(written[0]), RtfDocument(kept, RtfFont{"MS Sans Serif", 8}));
    const std::string name = fs::path(written[0]).filename().string();
    EXPECT_THAT(Files(), ::testing::UnorderedElementsAre(
                             name, name.substr(0, name.size() - 4) + "_Original.rtf"));
    EXPECT_EQ(testing::ReadFile(dir_ / (name.substr(0, name.size() - 4) + "_Original.rtf")),
              damaged);
    EXPECT_NE(name.find("Velmor_Logfile_20"), std::string::npos) << name;
    for (const std::string& file : Files()) fs::remove(dir_ / file);
  }
}

// A power cut may cut the last write short. What a cut file still holds is kept: the lines
// up to the last whole one, named by the file's own time once the newest line's is lost.
TEST_F(LiveLogFileTest, FileCutShortKeepsItsWholeLines) {
  ConversationLog log;
  {
    LiveLogFile live(log, dir_, timers_);
    for (const char* text : {"Start", "eins", "zwei", "drei"}) Append(log, live, {text});
  }
  const std::string whole = testing::ReadFile(dir_ / "Velmor_Logfile_laufend.rtf");
  fs::remove(dir_ / "Velmor_Logfile_laufend.rtf");
  const std::size_t trailer = whole.find("{\\*");
  const std::size_t last_line = whole.rfind("\\cf", trailer);
  const struct {
    std::size_t cut;
    int lines;  // -1: not read as a live log file, kept byte for byte
    bool newest_line_time;
  } cases[] = {{whole.size() - 2, 4, true},
               {trailer + 5, 4, false},
               {last_line + 6, 3, false},
               {40, -1, false}};
  for (const auto& c : cases) {
    const fs::path path = dir_ / "Velmor_Logfile_laufend_2.rtf";
    std::ofstream(path, std::ios::binary) << whole.substr(0, c.cut);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
    const auto written = RecoverLiveLogFiles(dir_);
    ASSERT_EQ(written.size(), 1u) << c.cut;
    EXPECT_NE(written[0].find("Velmor_Logfile_20"), std::string::npos);
    if (c.lines < 0) {
      EXPECT_EQ(testing::ReadFile(written[0]), whole.substr(0, c.cut));
    } else {
      auto kept = Kept(log);
      kept.resize(static_cast<std::size_t>(c.lines));
      EXPECT_EQ(testing::ReadFile(written[0]), RtfDocument(kept, RtfFont{"MS Sans Serif", 8}))
          << c.cut;
      EXPECT_EQ(written[0].find("20260203_0905") != std::string::npos, c.newest_line_time)
          << "named by the newest line only while its time is whole";
    }
    fs::remove(written[0]);
    EXPECT_TRUE(Files().empty()) << c.cut;
  }
}

// Two runs in one folder: each writes its own file, and neither recovers the other's while
// it runs; a normal exit leaves nothing behind.
TEST_F(LiveLogFileTest, RunsInOneFolderKeepApart) {
  ConversationLog first_log, second_log;
  LiveLogFile first(first_log, dir_, timers_), second(second_log, dir_, timers_);
  for (const char* text : {"Start", "erster Lauf"}) Append(first_log, first, {text});
  for (const char* text : {"Start", "zweiter Lauf"}) Append(second_log, second, {text});
  first.Tick();
  second.Tick();
  EXPECT_EQ(second.Path(), dir_ / "Velmor_Logfile_laufend_2.rtf");
  EXPECT_TRUE(RecoverLiveLogFiles(dir_).empty());
  ExpectFileHolds(first.Path(), Kept(first_log));
  ExpectFileHolds(second.Path(), Kept(second_log));

  second.Close();
  EXPECT_EQ(RecoverLiveLogFiles(dir_).size(), 1u);
  first.Discard();
  EXPECT_THAT(Files(), ElementsAre(::testing::StartsWith("Velmor_Logfile_20")));
}

// A full disk cuts a write short: the file must still be a whole document, and the lines
// follow once there is room again.
TEST_F(LiveLogFileTest, WriteFailingMidwayLeavesAWholeDocument) {
  if (!testing::FileSizeLimit::kPossible) GTEST_SKIP() << testing::kNoFileSizeLimit;
  ConversationLog log;
  LiveLogFile live(log, dir_, timers_);
  for (const char* text : {"Start", "vorher"}) Append(log, live, {text});
  live.Tick();
  const std::vector<LogLine> before = Kept(log);
  for (int i = 0; i < 200; ++i) Append(log, live, {"danach " + std::to_string(i), RGB(1, 2, 3)});

  bool wants_more = false;
  {
    testing::FileSizeLimit limit(fs::file_size(live.Path()) + 1000);
    wants_more = live.Tick();
  }

  EXPECT_TRUE(wants_more);
  ExpectFileHolds(live.Path(), before);
  live.Tick();
  ExpectFileHolds(live.Path(), Kept(log));
}

}  // namespace
}  // namespace velmor
