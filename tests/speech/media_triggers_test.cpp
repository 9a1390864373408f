#include "speech/media_triggers.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/fakes/fake_media.h"
#include "tests/fakes/queue_dispatcher.h"

namespace velmor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

const char kErrorWords[] = " Fehler beim \u00F6ffnen der Musikdatei: ";

class MediaTriggersTest : public ::testing::Test {
 protected:
  MediaTriggersTest()
      : triggers_(
            media_, dispatcher_, [this](const LogLine& line) { lines_.push_back(line); },
            [] { return std::string("12:34:56"); }) {
    triggers_.SetSoundBarObserver([this] { ++bar_changes_; });
  }

  // Names s0.wav, s1.wav, ... that all open.
  static std::string SoundName(int i) { return "s" + std::to_string(i) + ".wav"; }
  void AddSounds(int count) {
    for (int i = 0; i < count; ++i) media_.AddFile(SoundName(i));
  }
  // Journal entries from the given one on.
  std::vector<std::string> JournalSince(std::size_t from) const {
    return {media_.journal.begin() + static_cast<std::ptrdiff_t>(from), media_.journal.end()};
  }

  testing::FakeMediaSystem media_;
  testing::QueueDispatcher dispatcher_;
  std::vector<LogLine> lines_;
  int bar_changes_ = 0;
  MediaTriggers triggers_;
};

// --- sound slots ---

TEST_F(MediaTriggersTest, TwelveSoundsRotateOverElevenSlotsAndCutTheFirst) {
  AddSounds(12);
  for (int i = 0; i < 11; ++i) {
    triggers_.PlaySoundFile(SoundName(i));
    EXPECT_EQ(triggers_.SoundSlotIndex(), i);
    ASSERT_NE(triggers_.SoundSlot(i), nullptr);
    EXPECT_EQ(triggers_.SoundSlot(i)->FileName(), SoundName(i));
  }
  MediaPlayer* first = triggers_.SoundSlot(0);
  const std::size_t before = media_.journal.size();

  triggers_.PlaySoundFile(SoundName(11));

  EXPECT_EQ(triggers_.SoundSlotIndex(), 0);
  EXPECT_EQ(triggers_.SoundSlot(0), first) << "a used slot keeps its player";
  EXPECT_EQ(first->FileName(), SoundName(11));
  EXPECT_THAT(JournalSince(before), ElementsAre("stop s0.wav", "eject s0.wav", "close s0.wav",
                                                "open s11.wav", "play s11.wav"));
  EXPECT_EQ(triggers_.SoundSlot(1)->FileName(), SoundName(1)) << "other slots untouched";
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(MediaTriggersTest, SoundsOpenAsSoundsAndMusicAsMusic) {
  media_.AddFile("a.wav");
  media_.AddFile("m.ogg");
  triggers_.PlaySoundFile("a.wav");
  triggers_.PlayMusicFile("m.ogg");
  EXPECT_EQ(media_.LastOf("a.wav").kind, MediaKind::kSound);
  EXPECT_EQ(media_.LastOf("m.ogg").kind, MediaKind::kMusic);
}

// --- music ---

TEST_F(MediaTriggersTest, NewMusicStopsTheOldAndSameMusicRestartsFromTheStart) {
  media_.AddFile("one.mid");
  media_.AddFile("two.mid");
  triggers_.PlayMusicFile("one.mid");
  EXPECT_THAT(media_.journal, ElementsAre("open one.mid", "play one.mid"));

  std::size_t before = media_.journal.size();
  triggers_.PlayMusicFile("two.mid");
  EXPECT_THAT(JournalSince(before), ElementsAre("stop one.mid", "eject one.mid", "close one.mid",
                                                "open two.mid", "play two.mid"));

  media_.LastOf("two.mid").position = 400;
  before = media_.journal.size();
  triggers_.PlayMusicFile("two.mid");
  EXPECT_THAT(JournalSince(before), ElementsAre("stop two.mid", "eject two.mid", "close two.mid",
                                                "open two.mid", "play two.mid"));
  EXPECT_EQ(triggers_.MusicPlayer()->Position(), 0);
  EXPECT_EQ(triggers_.MusicPlayer()->FileName(), "two.mid");
}

TEST_F(MediaTriggersTest, MusicHasNoCompletionHandling) {
  media_.AddFile("m.ogg");
  triggers_.PlayMusicFile("m.ogg");
  media_.Finish(media_.Last());
  dispatcher_.Drain();
  EXPECT_EQ(triggers_.MusicPlayer()->FileName(), "m.ogg");
  EXPECT_TRUE(media_.Last().open);
}

// --- the error line ---

TEST_F(MediaTriggersTest, MissingMusicFileWritesTheErrorLineAndLeavesNoFile) {
  triggers_.PlayMusicFile("fanfare.mid");
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].text, std::string("12:34:56") + kErrorWords + "\"fanfare.mid\"");
  EXPECT_EQ(lines_[0].color, clBlack);
  EXPECT_EQ(lines_[0].style, LogStyle::kBoldItalic);
  EXPECT_EQ(triggers_.MusicPlayer()->FileName(), "");
  EXPECT_FALSE(triggers_.MusicPlayer()->IsOpen());
}

TEST_F(MediaTriggersTest, EmptyNameShowsTwoQuotesWithNothingBetween) {
  triggers_.PlayMusicFile("");
  triggers_.PlaySoundFile("");
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[0].text, std::string("12:34:56") + kErrorWords + "\"\"");
  EXPECT_EQ(lines_[1].text, lines_[0].text) << "sounds use the same words";
}

TEST_F(MediaTriggersTest, FailedMusicMeansTheNextMusicSkipsTheStopStep) {
  media_.AddFile("one.mid");
  media_.AddFile("two.mid");
  triggers_.PlayMusicFile("one.mid");
  triggers_.PlayMusicFile("missing.mid");
  EXPECT_FALSE(media_.LastOf("one.mid").open) << "the old music was closed before the attempt";

  const std::size_t before = media_.journal.size();
  triggers_.PlayMusicFile("two.mid");
  EXPECT_THAT(JournalSince(before), ElementsAre("open two.mid", "play two.mid"));
}

TEST_F(MediaTriggersTest, FailedSoundKeepsItsPlayerWithoutAFile) {
  media_.AddFile("s1.wav");
  triggers_.PlaySoundFile("fanfare.wav");
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].text, std::string("12:34:56") + kErrorWords + "\"fanfare.wav\"");
  ASSERT_NE(triggers_.SoundSlot(0), nullptr);
  EXPECT_EQ(triggers_.SoundSlot(0)->FileName(), "");

  triggers_.PlaySoundFile("s1.wav");
  EXPECT_EQ(triggers_.SoundSlotIndex(), 1) << "a failure still uses up its slot";
  EXPECT_THAT(media_.journal, ElementsAre("open s1.wav", "play s1.wav"));
}

// --- finished sounds ---

TEST_F(MediaTriggersTest, FinishedSoundReleasesOnlyItsOwnPlayerAfterTheNotice) {
  AddSounds(2);
  triggers_.PlaySoundFile(SoundName(0));
  triggers_.PlaySoundFile(SoundName(1));
  auto& first = media_.LastOf(SoundName(0));

  ASSERT_TRUE(media_.Finish(first));
  EXPECT_EQ(triggers_.SoundSlot(0), nullptr);
  EXPECT_TRUE(first.open) << "closed only once the notice has returned";
  dispatcher_.Drain();
  EXPECT_FALSE(first.open);

  ASSERT_NE(triggers_.SoundSlot(1), nullptr);
  EXPECT_EQ(triggers_.SoundSlot(1)->FileName(), SoundName(1));
  EXPECT_TRUE(media_.LastOf(SoundName(1)).open);
  EXPECT_THAT(media_.journal, Not(::testing::Contains("eject s0.wav")));
}

TEST_F(MediaTriggersTest, NoticeBeforeTheEndKeepsThePlayer) {
  AddSounds(1);
  triggers_.PlaySoundFile(SoundName(0));
  media_.Last().position = 10;
  ASSERT_TRUE(media_.Notify(media_.Last()));
  dispatcher_.Drain();
  ASSERT_NE(triggers_.SoundSlot(0), nullptr);
  EXPECT_EQ(triggers_.SoundSlot(0)->FileName(), SoundName(0));
  EXPECT_TRUE(media_.Last().open);
}

TEST_F(MediaTriggersTest, ReleasedSlotGetsANewPlayerForTheNextSound) {
  AddSounds(12);
  triggers_.PlaySoundFile(SoundName(0));
  media_.Finish(media_.Last());
  dispatcher_.Drain();
  for (int i = 1; i < 12; ++i) triggers_.PlaySoundFile(SoundName(i));

  ASSERT_NE(triggers_.SoundSlot(0), nullptr);
  EXPECT_EQ(triggers_.SoundSlot(0)->FileName(), SoundName(11));
  EXPECT_THAT(media_.journal, Not(::testing::Contains("stop s0.wav")))
      << "a released player's file is not stopped again";
}

TEST_F(MediaTriggersTest, SoundCutByItsSlotsReuseDoesNotReleaseTheNewPlayer) {
  AddSounds(12);
  for (int i = 0; i < 12; ++i) triggers_.PlaySoundFile(SoundName(i));
  auto& cut = media_.LastOf(SoundName(0));
  auto& current = media_.LastOf(SoundName(11));

  EXPECT_FALSE(media_.Finish(cut)) << "a closed device delivers nothing";
  ASSERT_TRUE(media_.Notify(current)) << "the new sound's own notice, still playing";
  dispatcher_.Drain();

  ASSERT_NE(triggers_.SoundSlot(0), nullptr);
  EXPECT_EQ(triggers_.SoundSlot(0)->FileName(), SoundName(11));
  EXPECT_TRUE(current.open);
}

// --- exit ---

TEST_F(MediaTriggersTest, ReleasePlayersLeavesNothingAndIsSafeTwice) {
  AddSounds(2);
  media_.AddFile("m.ogg");
  triggers_.PlayMusicFile("m.ogg");
  triggers_.PlaySoundFile(SoundName(0));
  triggers_.PlaySoundFile("missing.wav");
  triggers_.PlaySoundFile(SoundName(1));
  const std::size_t before = media_.journal.size();

  triggers_.ReleasePlayers();

  const auto released = JournalSince(before);
  EXPECT_THAT(released, ::testing::IsSupersetOf({"eject m.ogg", "eject s0.wav", "eject s1.wav",
                                                 "close m.ogg", "close s0.wav", "close s1.wav"}));
  EXPECT_EQ(released.size(), 6u);
  EXPECT_EQ(triggers_.MusicPlayer(), nullptr);
  for (int i = 0; i < MediaTriggers::kSoundSlotCount; ++i) {
    EXPECT_EQ(triggers_.SoundSlot(i), nullptr) << "slot " << i;
  }
  EXPECT_FALSE(triggers_.SoundBarVisible());
  for (const auto& record : media_.records) EXPECT_FALSE(record->open) << record->file_name;

  const std::size_t after = media_.journal.size();
  triggers_.ReleasePlayers();
  triggers_.PlayMusicFile("m.ogg");
  triggers_.PlaySoundFile(SoundName(0));
  EXPECT_EQ(media_.journal.size(), after) << "nothing is played after the release";
}

TEST_F(MediaTriggersTest, ReleaseWhileAFinishedPlayerAwaitsItsRelease) {
  AddSounds(1);
  triggers_.PlaySoundFile(SoundName(0));
  media_.Finish(media_.Last());
  triggers_.ReleasePlayers();
  dispatcher_.Drain();
  EXPECT_FALSE(media_.Last().open);
  EXPECT_THAT(media_.journal, Not(::testing::Contains("eject s0.wav")));
}

// --- the sound control bar ---

TEST_F(MediaTriggersTest, ControlBarShowsWhileASoundPlayerExists) {
  AddSounds(2);
  EXPECT_FALSE(triggers_.SoundBarVisible());
  triggers_.PlayMusicFile("");
  EXPECT_FALSE(triggers_.SoundBarVisible()) << "music has no bar";

  triggers_.PlaySoundFile(SoundName(0));
  EXPECT_TRUE(triggers_.SoundBarVisible());
  EXPECT_EQ(bar_changes_, 1);
  triggers_.PlaySoundFile(SoundName(1));
  EXPECT_EQ(triggers_.SoundBarPlayer(), triggers_.SoundSlot(1)) << "the newest player";

  media_.Finish(media_.LastOf(SoundName(1)));
  EXPECT_EQ(triggers_.SoundBarPlayer(), triggers_.SoundSlot(0));
  media_.Finish(media_.LastOf(SoundName(0)));
  EXPECT_FALSE(triggers_.SoundBarVisible());
  EXPECT_EQ(bar_changes_, 4);
}

TEST_F(MediaTriggersTest, ControlBarButtonsActOnTheNewestPlayer) {
  AddSounds(2);
  triggers_.PlaySoundFile(SoundName(0));
  triggers_.PlaySoundFile(SoundName(1));
  const std::size_t before = media_.journal.size();
  triggers_.SoundBarPause();
  triggers_.SoundBarPlay();
  triggers_.SoundBarStop();
  EXPECT_THAT(JournalSince(before), ElementsAre("pause s1.wav", "play s1.wav", "stop s1.wav"));
}

TEST_F(MediaTriggersTest, ControlBarButtonsIgnoreAPlayerWithoutAFile) {
  triggers_.PlaySoundFile("missing.wav");
  ASSERT_TRUE(triggers_.SoundBarVisible());
  triggers_.SoundBarPlay();
  triggers_.SoundBarPause();
  triggers_.SoundBarStop();
  EXPECT_THAT(media_.journal, IsEmpty());
}

}  // namespace
}  // namespace velmor
