#include "platform/text_codec.h"
#include "relay/connection.h"
#include "speech/live_log_recovery.h"
#include "tests/shell/main_form_fixture.h"
#include "tests/support/huffman_encoder.h"
#include "tests/support/loopback.h"
#include "tests/support/program_output.h"
#include "tests/support/rtf_reader.h"
#include "tests/support/speech_packets.h"
#include "tests/support/system.h"
#include "tests/support/unicode_texts.h"

namespace velmor::testing {
namespace {

constexpr const char* kRunningHidden = "0\r\n127.0.0.1\r\n1\r\nStart\r\nHide\r\nAnim\r\n";

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// --- Start-up -----------------------------------------------------------------------------

TEST_F(MainFormTest, WithoutSettingsFileStartsStoppedWithDefaults) {
  TMainForm& form = Create();
  EXPECT_EQ(form.UOClientPort.Text(), "2592");
  EXPECT_EQ(form.UOServerIP.Text(), "127.0.0.1");
  EXPECT_EQ(form.UOServerPort.Text(), "2593");
  EXPECT_EQ(form.UOClientLoginServer.Text(), "LoginServer=127.0.0.1,2592");
  EXPECT_FALSE(form.Running());
  EXPECT_EQ(TrayFrame(), 16);
  EXPECT_EQ(tray_.tip, "Velmor");
  EXPECT_EQ(tray_.adds, 1);
  EXPECT_TRUE(form.TrayMenuSymbolAnimCheck.Checked());
  EXPECT_TRUE(form.Visible());
  EXPECT_FALSE(form.HideTimer.Enabled());
  EXPECT_FALSE(form.TrayMenuAnzeigen.Visible());
  EXPECT_TRUE(form.TrayMenuVerbergen.Visible());
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_ / "Velmor.ini"));
  ASSERT_EQ(form.LogTalking.LineCount(), 1);
  EXPECT_TRUE(EndsWith(form.LogTalking.Line(0).text, " --- Start Logging ---"));
}

TEST_F(MainFormTest, StartAndHideResumeRelayingInTheBackground) {
  WriteSettings(kRunningHidden);
  TMainForm& form = Create();
  EXPECT_TRUE(form.Running());
  EXPECT_EQ(tray_.tip, "Velmor (Aktiv)");
  EXPECT_EQ(TrayFrame(), 0);
  EXPECT_TRUE(form.AnimTimer.Enabled());
  // Visible until the hide timer's one tick.
  EXPECT_TRUE(form.Visible());
  EXPECT_TRUE(form.HideTimer.Enabled());
  EXPECT_TRUE(form.TrayMenuAnzeigen.Visible());
  EXPECT_FALSE(form.TrayMenuVerbergen.Visible());
  timers_.Advance(100);
  EXPECT_FALSE(form.Visible());
  EXPECT_FALSE(form.HideTimer.Enabled());
}

// The ports are compared once all fields hold the saved texts: a saved client port equal to
// the default server port is no conflict when the saved server port differs.
TEST_F(MainFormTest, SavedPortsAreComparedWithEachOtherOnly) {
  WriteSettings("2593\r\n127.0.0.1\r\n2601\r\nStop\r\nShow\r\nAnim\r\n");
  TMainForm& form = Create();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_TRUE(form.StartButton.Visible());
  EXPECT_EQ(form.UOServerPort.Text(), "2601");
  EXPECT_EQ(form.UOClientLoginServer.Text(), "LoginServer=127.0.0.1,2593");

  WriteSettings("2601\r\n127.0.0.1\r\n2601\r\nStop\r\nShow\r\nAnim\r\n");
  Create();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].caption, "Achtung!");
}

TEST_F(MainFormTest, OnlyExactWordsCount) {
  WriteSettings("0\n127.0.0.1\n1\nStart \nhide\nanim\n");  // LF only, blank, lower case
  TMainForm& form = Create();
  EXPECT_EQ(form.UOClientPort.Text(), "0");
  EXPECT_FALSE(form.Running());
  EXPECT_FALSE(form.HideTimer.Enabled());
  EXPECT_FALSE(form.TrayMenuSymbolAnimCheck.Checked());
  EXPECT_EQ(TrayFrame(), 16);
}

TEST_F(MainFormTest, StopAndHideAreAppliedIndependently) {
  WriteSettings("2592\r\n127.0.0.1\r\n2593\r\nStop\r\nHide\r\nAnim\r\n");
  TMainForm& form = Create();
  EXPECT_FALSE(form.Running());
  timers_.Advance(100);
  EXPECT_FALSE(form.Visible());
}

TEST_F(MainFormTest, ShortSettingsFileTakesDefaultsForMissingLinesWithoutError) {
  WriteSettings("2600\r\n10.0.0.9");
  TMainForm& form = Create();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(form.UOClientPort.Text(), "2600");
  EXPECT_EQ(form.UOServerIP.Text(), "10.0.0.9");
  EXPECT_EQ(form.UOServerPort.Text(), "2593");
  EXPECT_FALSE(form.Running());
  EXPECT_TRUE(form.TrayMenuSymbolAnimCheck.Checked());
  EXPECT_EQ(form.LogTalking.LineCount(), 1);  // start-up ran to its end

  WriteSettings("");
  form_.reset();
  TMainForm& empty = Create();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(empty.UOClientPort.Text(), "2592");
}

TEST_F(MainFormTest, FailedAutomaticStartIsReportedAndSkipsTheRestOfStartUp) {
  WriteSettings("abc\r\n127.0.0.1\r\n2593\r\nStart\r\nShow\r\nAnim\r\n");
  TMainForm& form = Create();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "'abc' is not a valid integer value.");
  EXPECT_FALSE(form.Running());
  EXPECT_EQ(form.LogTalking.LineCount(), 0);
  EXPECT_EQ(TrayFrame(), 16);  // a stopped relay's picture, not the running emblem

  form.LogTalking.AppendLogLine("12:00:00 [Bob] hallo");
  form.TrayMenuBeendenClick();
  EXPECT_EQ(LogFiles().size(), 1u) << "one logged line is worth a file, start line or not";

  // Refused rather than failed: the same picture.
  WriteSettings("2593\r\n127.0.0.1\r\n2593\r\nStart\r\nShow\r\nAnim\r\n");
  form_.reset();
  EXPECT_FALSE(Create().Running());
  EXPECT_EQ(TrayFrame(), 16);
}

// --- Tray ---------------------------------------------------------------------------------

TEST_F(MainFormTest, AnimationSwingsUpToFifteenAndBack) {
  WriteSettings("0\r\n127.0.0.1\r\n1\r\nStart\r\nShow\r\nAnim\r\n");
  TMainForm& form = Create();
  EXPECT_EQ(TrayFrame(), 0);
  EXPECT_EQ(form.AnimTimer.Interval(), 75);
  std::vector<int> frames;
  for (int i = 0; i < 32; ++i) {
    timers_.Advance(TrayAnimation::kInterval);
    frames.push_back(TrayFrame());
  }
  const std::vector<int> expected = {1,  2,  3,  4,  5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 14,
                                     13, 12, 11, 10, 9, 8, 7, 6, 5, 4,  3,  2,  1,  0,  1,  2};
  EXPECT_EQ(frames, expected);
  EXPECT_EQ(tray_.tip, "Velmor (Aktiv)");
}

TEST_F(MainFormTest, TurningTheAnimationOffAndOnRestartsFromTheStillFrame) {
  WriteSettings("0\r\n127.0.0.1\r\n1\r\nStart\r\nShow\r\nAnim\r\n");
  TMainForm& form = Create();
  for (int i = 0; i < 9; ++i) timers_.Advance(TrayAnimation::kInterval);
  ASSERT_EQ(TrayFrame(), 9);
  form.TrayMenuSymbolAnimCheck.Click();
  EXPECT_FALSE(form.TrayMenuSymbolAnimCheck.Checked());
  EXPECT_FALSE(form.AnimTimer.Enabled());
  EXPECT_EQ(TrayFrame(), 0);
  form.TrayMenuSymbolAnimCheck.Click();
  EXPECT_TRUE(form.AnimTimer.Enabled());
  timers_.Advance(TrayAnimation::kInterval);
  EXPECT_EQ(TrayFrame(), 1);

  form.StopButton.Click();
  EXPECT_FALSE(form.AnimTimer.Enabled());
  EXPECT_EQ(TrayFrame(), 16);
  EXPECT_EQ(tray_.tip, "Velmor");
}

TEST_F(MainFormTest, AnimationCheckWhileStoppedOnlySetsTheMark) {
  WriteSettings("2592\r\n127.0.0.1\r\n2593\r\nStop\r\nShow\r\nNoAnim\r\n");
  TMainForm& form = Create();
  form.TrayMenuSymbolAnimCheck.Click();
  EXPECT_TRUE(form.TrayMenuSymbolAnimCheck.Checked());
  EXPECT_FALSE(form.AnimTimer.Enabled());
  EXPECT_EQ(TrayFrame(), 16);
}

TEST_F(MainFormTest, DoubleClickTogglesTheWindowAndRightClickOpensTheMenu) {
  TMainForm& form = Create();
  tray_.Event(TrayEvent::kDoubleClick);
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(form.TrayMenuAnzeigen.Visible());  // the menu follows the window
  EXPECT_FALSE(form.TrayMenuVerbergen.Visible());
  tray_.Event(TrayEvent::kDoubleClick);
  EXPECT_TRUE(form.Visible());
  EXPECT_TRUE(form.TrayMenuVerbergen.Visible());
  tray_.Event(TrayEvent::kRightButtonUp);
  EXPECT_EQ(tray_.popups, 1);
}

TEST_F(MainFormTest, ShowAndHideCommandsSwitchTheMenu) {
  TMainForm& form = Create();
  form.TrayMenuVerbergen.Click();
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(form.TrayMenuAnzeigen.Visible());
  EXPECT_FALSE(form.TrayMenuVerbergen.Visible());
  form.TrayMenuAnzeigen.Click();
  EXPECT_TRUE(form.Visible());
  EXPECT_FALSE(form.TrayMenuAnzeigen.Visible());
}

// --- Close and exit -----------------------------------------------------------------------

TEST_F(MainFormTest, CloseHidesAndKeepsRunning) {
  WriteSettings(kRunningHidden);
  TMainForm& form = Create();
  form.TrayMenuAnzeigenClick();
  bool allow = true;
  form.FormClose(allow);
  EXPECT_FALSE(allow);
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(form.Running());
  EXPECT_TRUE(form.TrayMenuAnzeigen.Visible()) << "the menu offers to show the closed window";
  EXPECT_FALSE(form.TrayMenuVerbergen.Visible());
  EXPECT_EQ(terminations_, 0);
}

TEST_F(MainFormTest, WithoutNotificationAreaCloseMinimisesInstead) {
  tray_.available = false;
  TMainForm& form = Create();
  bool allow = true;
  form.FormClose(allow);
  EXPECT_FALSE(allow);
  EXPECT_TRUE(form.Visible());
  EXPECT_TRUE(form.Minimized());
  form.Restored();
  EXPECT_FALSE(form.Minimized());
  EXPECT_EQ(form.LogTalking.LineCount(), 1);  // nothing logged about it
}

TEST_F(MainFormTest, ExitSavesLogSettingsAndTrayInOrder) {
  media_.AddFile("song.ogg");
  WriteSettings("0\r\n127.0.0.1\r\n1\r\nStart\r\nShow\r\nNoAnim\r\nseventh line\r\n");
  TMainForm& form = Create();
  form.Media().PlayMusicFile("song.ogg");
  form.LogTalking.AppendLogLine("12:00:00 [Bob] hallo");
  form.TrayMenuVerbergenClick();
  timers_.Advance(LiveLogFile::kTickMilliseconds);
  EXPECT_EQ(LogFiles(), std::vector<std::string>{"Velmor_Logfile_laufend.rtf"});

  form.TrayMenuBeenden.Click();
  EXPECT_EQ(form.Media().MusicPlayer(), nullptr);
  EXPECT_FALSE(media_.LastOf("song.ogg").open);
  ASSERT_EQ(form.LogTalking.LineCount(), 3);
  EXPECT_TRUE(EndsWith(form.LogTalking.Line(2).text, " --- End Logging ---"));
  ASSERT_EQ(LogFiles().size(), 1u);  // the live file went once the log file was written
  EXPECT_NE(LogFiles()[0], "Velmor_Logfile_laufend.rtf");
  EXPECT_EQ(ReadSettings(), "0\r\n127.0.0.1\r\n1\r\nStart\r\nHide\r\nNoAnim\r\nseventh line\r\n");
  EXPECT_EQ(tray_.removes, 1);
  EXPECT_FALSE(tray_.registered);
  EXPECT_EQ(terminations_, 1);
  EXPECT_TRUE(form.Running());  // not stopped through Stop: it resumes at the next start

  form.TrayMenuBeendenClick();  // a second exit finds nothing left to do
  EXPECT_EQ(terminations_, 1);
  EXPECT_EQ(LogFiles().size(), 1u);
}

TEST_F(MainFormTest, SessionSaveWritesTheSettingsAndKeepsRunning) {
  WriteSettings(kRunningHidden);
  TMainForm& form = Create();
  timers_.Advance(100);
  form.LogTalking.AppendLogLine("12:00:00 [Bob] hallo");
  std::filesystem::remove(folder_ / "Velmor.ini");
  form.SaveSession();
  EXPECT_EQ(ReadSettings(), kRunningHidden);
  EXPECT_EQ(terminations_, 0);
  EXPECT_TRUE(tray_.registered);
  EXPECT_TRUE(LogFiles().empty());
  EXPECT_EQ(form.LogTalking.LineCount(), 2);  // no end line: the log goes on

  form.TrayMenuBeendenClick();
  EXPECT_EQ(LogFiles().size(), 1u);
  EXPECT_EQ(terminations_, 1);
}

TEST_F(MainFormTest, LinesPostedBeforeTheExitReachThePaneAndTheFile) {
  TMainForm& form = Create();
  TIdTCPConnection connection;
  TMemoryStream block{Compress(AsciiSpeech("Bob", "noch unterwegs")), 0};
  form.IdLogEvent1Send(form.IdLogEvent1, connection, block);  // as a relay worker does
  ASSERT_EQ(dispatcher_.Pending(), 1u);

  form.TrayMenuBeendenClick();
  ASSERT_EQ(form.LogTalking.LineCount(), 3);
  EXPECT_TRUE(EndsWith(form.LogTalking.Line(1).text, "[Bob] noch unterwegs"));
  EXPECT_EQ(LogFiles().size(), 1u);
}

// Speech of players around the world, from the packet to the log, the live file (and what
// the next start would recover from it) and the exit's log file, character for character.
TEST_F(MainFormTest, UnicodeSpeechReachesEveryFileAsSent) {
  TMainForm& form = Create();
  std::vector<std::uint8_t> packets;
  for (const char* text : kUnicodeTexts) {
    const std::u16string units = Utf8ToUtf16(text);
    const auto packet = UnicodeSpeech("Bj\xF6rn", units);
    packets.insert(packets.end(), packet.begin(), packet.end());
  }
  TIdTCPConnection connection;
  TMemoryStream block{Compress(packets), 0};
  form.IdLogEvent1Send(form.IdLogEvent1, connection, block);
  dispatcher_.Drain();
  const auto expect_the_lines = [](const std::vector<std::string>& shown) {
    ASSERT_EQ(shown.size(), kUnicodeTexts.size() + 1);
    for (std::size_t i = 0; i < kUnicodeTexts.size(); ++i) {
      EXPECT_TRUE(EndsWith(shown[i + 1], std::string("[Bj\u00F6rn] ") + kUnicodeTexts[i])) << i;
    }
  };
  std::vector<std::string> logged;
  for (const LogLineView line : form.LogTalking.Lines()) logged.emplace_back(line.text);
  expect_the_lines(logged);

  timers_.Advance(LiveLogFile::kTickMilliseconds);
  const std::string live = ReadFile(folder_ / "Velmor_Logfile_laufend.rtf");
  const auto paragraphs = [](const std::string& rtf) {
    std::vector<std::string> texts;
    for (const RtfParagraph& paragraph : ReadRtf(rtf).paragraphs) texts.push_back(paragraph.Text());
    return texts;
  };
  expect_the_lines(paragraphs(live));
  std::vector<std::string> recovered;
  for (const LogLine& line : ReadLiveLogFile(live).lines) recovered.push_back(line.text);
  expect_the_lines(recovered);

  form.TrayMenuBeendenClick();
  ASSERT_EQ(LogFiles().size(), 1u);
  std::vector<std::string> saved = paragraphs(ReadFile(folder_ / LogFiles()[0]));
  saved.pop_back();  // the end line
  expect_the_lines(saved);
}

TEST_F(MainFormTest, ExitWithNothingLoggedWritesOnlySettings) {
  TMainForm& form = Create();
  form.TrayMenuVerbergenClick();  // hidden but stopped: saved as shown
  form.TrayMenuBeendenClick();
  EXPECT_TRUE(LogFiles().empty());
  EXPECT_EQ(ReadSettings(), "2592\r\n127.0.0.1\r\n2593\r\nStop\r\nShow\r\nAnim\r\n");
}

// No room on the disk for the log file at exit: the live file, which already holds the
// session, becomes the log file, and there is nothing to report.
TEST_F(MainFormTest, ExitWithoutRoomKeepsTheLiveFileAsTheLog) {
  if (!FileSizeLimit::kPossible) GTEST_SKIP() << kNoFileSizeLimit;
  TMainForm& form = Create();
  form.LogTalking.AppendLogLine("12:00:00 [Bob] hallo");
  timers_.Advance(LiveLogFile::kTickMilliseconds);
  {
    FileSizeLimit limit(100);
    form.TrayMenuBeendenClick();
  }
  EXPECT_TRUE(dialogs_.boxes.empty());
  ASSERT_EQ(LogFiles().size(), 1u);
  EXPECT_NE(LogFiles()[0], "Velmor_Logfile_laufend.rtf");
  EXPECT_NE(ReadFile(folder_ / LogFiles()[0]).find("[Bob] hallo"), std::string::npos);
}

// What earlier runs left behind is looked after beside the start: a staged file whose writer
// is gone goes, a live file becomes a log file.
TEST_F(MainFormTest, StartLooksAfterWhatEarlierRunsLeft) {
  const auto left = folder_ / "Velmor_Logfile_20260203_0905.rtf.tmp123456";
  std::ofstream(left) << "half a log";
  std::filesystem::last_write_time(
      left, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  std::ofstream(folder_ / "Velmor.ini.tmp42") << "just written";
  Create();
  EXPECT_TRUE(WaitUntil([&] { return !std::filesystem::exists(left); }, kPatience));
  EXPECT_TRUE(std::filesystem::exists(folder_ / "Velmor.ini.tmp42")) << "a writer may be at work";
}

// A Velmor.ini the player made read-only stays as it is, and the exit says it was not saved.
TEST_F(MainFormTest, ReadOnlySettingsAreLeftAsThePlayerMadeThem) {
  using std::filesystem::perms;
  const std::string settings = "2600\r\n127.0.0.1\r\n2601\r\nStop\r\nShow\r\nAnim\r\n";
  WriteSettings(settings);
  const auto ini = folder_ / "Velmor.ini";
  std::filesystem::permissions(ini, perms::owner_read | perms::group_read);
  TMainForm& form = Create();
  form.UOClientPort.SetText("2700");
  form.TrayMenuBeendenClick();
  EXPECT_EQ(ReadSettings(), settings);
  EXPECT_EQ(std::filesystem::status(ini).permissions() & perms::owner_write, perms::none);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Konfiguration konnte nicht gespeichert werden!");
  std::filesystem::permissions(ini, perms::owner_write, std::filesystem::perm_options::add);
}

TEST_F(MainFormTest, ExitInAnUnwritableFolderReportsBothFailuresAndStillEnds) {
  TMainForm& form = Create();
  form.LogTalking.AppendLogLine("something worth keeping");
  // Windows removes no folder while the start's look at it is still open.
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
        return !error;
      },
      kPatience));
  std::ofstream(folder_) << "a file where the folder was";

  // A signal while the first box is open asks for the exit again: the steps still run once.
  dialogs_.while_next_open = [&form] { form.TrayMenuBeendenClick(); };
  form.TrayMenuBeendenClick();
  EXPECT_EQ(form.LogTalking.LineCount(), 3);
  ASSERT_EQ(dialogs_.boxes.size(), 2u);
  EXPECT_EQ(dialogs_.boxes[0].kind, RecordingDialogs::Box::kError);
  EXPECT_NE(dialogs_.boxes[0].text.find("Velmor_Logfile_"), std::string::npos);
  EXPECT_NE(dialogs_.boxes[0].text.find(kFolderWord), std::string::npos) << "folder misnamed";
  EXPECT_EQ(dialogs_.boxes[1].text, "Konfiguration konnte nicht gespeichert werden!");
  EXPECT_EQ(dialogs_.boxes[1].caption, "Achtung!");
  EXPECT_EQ(tray_.removes, 1);
  EXPECT_EQ(terminations_, 1);
  std::filesystem::remove(folder_);
}

}  // namespace
}  // namespace velmor::testing
