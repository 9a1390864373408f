#include "audio_sdl/sdl_media_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "speech/media_triggers.h"
#include "tests/audio_sdl/media_files.h"
#include "tests/fakes/queue_dispatcher.h"

namespace velmor {
namespace {

class SdlMediaTest : public ::testing::Test {
 protected:
  // Silent even when the binary runs outside CTest, which sets the same.
  static void SetUpTestSuite() { ::setenv("SDL_AUDIODRIVER", "dummy", 0); }

  SdlMediaTest() { testing::WriteToneWav(tone_, 0.2); }

  // Runs the main thread's posted work until done() holds; false when a few seconds pass
  // without it.
  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      dispatcher_.Drain();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Runs the main thread's posted work for a while.
  void RunFor(std::chrono::milliseconds span) {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) {
      dispatcher_.Drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    dispatcher_.Drain();
  }

  // Counts the device's finished notices, checking that they come on this thread.
  std::shared_ptr<int> CountNotices(MediaDevice& device) {
    auto count = std::make_shared<int>(0);
    device.SetFinishedHandler([count, main = std::this_thread::get_id()] {
      EXPECT_EQ(std::this_thread::get_id(), main);
      ++*count;
    });
    return count;
  }

  void ExpectPlaysToItsEnd(MediaDevice& device) {
    auto notices = CountNotices(device);
    EXPECT_EQ(device.Position(), 0);
    device.Play();
    ASSERT_TRUE(RunUntil([&] { return *notices == 1; })) << "no finished notice";
    EXPECT_EQ(device.Position(), device.Length());
  }

  testing::ScratchFolder folder_;
  const std::string tone_ = folder_ / "tone.wav";
  testing::QueueDispatcher dispatcher_;
  SdlMediaSystem media_{dispatcher_};
};

// --- playing to the end ---

TEST_F(SdlMediaTest, WavSoundPlaysToItsEnd) {
  auto sound = media_.Open(tone_, MediaKind::kSound);
  EXPECT_NEAR(static_cast<double>(sound->Length()), 200, 2);
  ExpectPlaysToItsEnd(*sound);
}

TEST_F(SdlMediaTest, WavMusicPlaysToItsEnd) {
  auto music = media_.Open(tone_, MediaKind::kMusic);
  EXPECT_NEAR(static_cast<double>(music->Length()), 200, 2);
  ExpectPlaysToItsEnd(*music);
}

TEST_F(SdlMediaTest, OggPlaysToItsEndAsSoundAndAsMusic) {
  const std::string ogg = folder_ / "tone.ogg";
  if (!testing::ConvertWithSox(tone_, ogg)) GTEST_SKIP() << "sox cannot write ogg here";
  auto sound = media_.Open(ogg, MediaKind::kSound);
  ExpectPlaysToItsEnd(*sound);
  auto music = media_.Open(ogg, MediaKind::kMusic);
  ExpectPlaysToItsEnd(*music);
}

TEST_F(SdlMediaTest, TypeComesFromTheContentWhenTheNameTellsNone) {
  const std::string nameless = folder_ / "tone";
  std::filesystem::copy_file(tone_, nameless);
  auto music = media_.Open(nameless, MediaKind::kMusic);
  ExpectPlaysToItsEnd(*music);
}

TEST_F(SdlMediaTest, PlayAfterTheEndStartsOver) {
  auto sound = media_.Open(tone_, MediaKind::kSound);
  auto notices = CountNotices(*sound);
  sound->Play();
  ASSERT_TRUE(RunUntil([&] { return *notices == 1; }));
  sound->Play();
  EXPECT_LT(sound->Position(), sound->Length());
  ASSERT_TRUE(RunUntil([&] { return *notices == 2; }));
  EXPECT_EQ(sound->Position(), sound->Length());
}

TEST_F(SdlMediaTest, PausedSoundAndMusicContinueToTheirEnd) {
  for (MediaKind kind : {MediaKind::kSound, MediaKind::kMusic}) {
    auto device = media_.Open(tone_, kind);
    auto notices = CountNotices(*device);
    device->Play();
    device->Pause();
    EXPECT_LT(device->Position(), device->Length());
    device->Play();
    ASSERT_TRUE(RunUntil([&] { return *notices == 1; }));
  }
}

TEST_F(SdlMediaTest, MoreSoundsThanInitialChannelsAllFinish) {
  std::vector<std::unique_ptr<MediaDevice>> sounds;
  auto notices = std::make_shared<int>(0);
  for (int i = 0; i < 20; ++i) {
    sounds.push_back(media_.Open(tone_, MediaKind::kSound));
    sounds.back()->SetFinishedHandler([notices] { ++*notices; });
  }
  for (auto& sound : sounds) sound->Play();
  ASSERT_TRUE(RunUntil([&] { return *notices == 20; })) << *notices << " of 20";
  for (auto& sound : sounds) EXPECT_EQ(sound->Position(), sound->Length());
}

TEST_F(SdlMediaTest, NewMusicTakesOverTheStream) {
  const std::string longer = folder_ / "longer.wav";
  testing::WriteToneWav(longer, 1.0);
  auto first = media_.Open(longer, MediaKind::kMusic);
  auto first_notices = CountNotices(*first);
  first->Play();
  first->Pause();
  auto second = media_.Open(tone_, MediaKind::kMusic);
  ExpectPlaysToItsEnd(*second);
  EXPECT_EQ(*first_notices, 0);
  EXPECT_EQ(first->Position(), 0) << "its playback is gone";
}

// --- closing ---

TEST_F(SdlMediaTest, ClosedDeviceHearsNothingMore) {
  auto notices = std::make_shared<int>(0);
  {
    auto sound = media_.Open(tone_, MediaKind::kSound);
    auto music = media_.Open(tone_, MediaKind::kMusic);
    sound->SetFinishedHandler([notices] { ++*notices; });
    music->SetFinishedHandler([notices] { ++*notices; });
    sound->Play();
    music->Play();
  }
  // Longer than the tone; a notice for a closed device would land in this time.
  RunFor(std::chrono::milliseconds(600));
  EXPECT_EQ(*notices, 0);
}

TEST_F(SdlMediaTest, DeviceMayBeClosedInItsOwnNotice) {
  auto sound = media_.Open(tone_, MediaKind::kSound);
  bool closed = false;
  sound->SetFinishedHandler([&] {
    sound.reset();
    closed = true;
  });
  sound->Play();
  ASSERT_TRUE(RunUntil([&] { return closed; }));
  auto again = media_.Open(tone_, MediaKind::kSound);
  ExpectPlaysToItsEnd(*again);
}

// --- files that cannot be opened ---

TEST_F(SdlMediaTest, OnlyPlayableRegularFilesOpen) {
  const std::string fifo = folder_ / "pipe.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string text = folder_ / "notes.wav";
  testing::WriteText(text, "not a sound at all");
  const std::string empty = folder_ / "empty.ogg";
  testing::WriteText(empty, "");
  const std::string folder = folder_ / "music.mid";
  std::filesystem::create_directory(folder);

  for (MediaKind kind : {MediaKind::kSound, MediaKind::kMusic}) {
    for (const std::string& name :
         {std::string(), folder_ / "missing.wav", folder, fifo, text, empty}) {
      EXPECT_THROW(media_.Open(name, kind), Exception)
          << name << (kind == MediaKind::kSound ? " as sound" : " as music");
    }
  }
}

TEST_F(SdlMediaTest, SoundIsBoundedByWhatItDecodesTo) {
  // 6.4 MB on disk, but over 64 MiB once decoded for the mixer; as music it streams.
  const std::string slow = folder_ / "slow.wav";
  testing::WriteToneWav(slow, 400, 8000);
  ASSERT_LT(std::filesystem::file_size(slow), SdlMediaSystem::kMaxSoundBytes / 8);
  EXPECT_THROW(media_.Open(slow, MediaKind::kSound), Exception);
  EXPECT_NO_THROW(media_.Open(slow, MediaKind::kMusic));
}

TEST_F(SdlMediaTest, ServerNamesFindTheFile) {
  std::filesystem::create_directory(folder_ / "Kl\u00e4nge");
  const std::string file = folder_ / "Kl\u00e4nge/Glocke_l\u00e4uten.wav";
  std::filesystem::copy_file(tone_, file);
  const std::string name = folder_ / "KL\xC4NGE\\glocke_L\xC4UTEN.WAV. ";
  for (MediaKind kind : {MediaKind::kSound, MediaKind::kMusic}) {
    auto device = media_.Open(name, kind);
    ExpectPlaysToItsEnd(*device);
  }
}

// --- with the triggers ---

TEST_F(SdlMediaTest, TriggeredSoundReleasesItsPlayerAtItsEnd) {
  std::vector<LogLine> lines;
  MediaTriggers triggers(
      media_, dispatcher_, [&](const LogLine& line) { lines.push_back(line); },
      [] { return std::string("12:00:00"); });

  triggers.PlaySoundFile(tone_);
  triggers.PlayMusicFile(tone_);
  ASSERT_TRUE(triggers.SoundBarVisible());
  ASSERT_TRUE(RunUntil([&] { return triggers.SoundSlot(0) == nullptr; }));
  dispatcher_.Drain();
  EXPECT_FALSE(triggers.SoundBarVisible());
  EXPECT_EQ(triggers.MusicPlayer()->FileName(), tone_) << "music keeps its file at the end";

  const std::string missing = folder_ / "missing.wav ";
  triggers.PlaySoundFile(missing);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].style, LogStyle::kBoldItalic);
  EXPECT_NE(lines[0].text.find("\"" + missing + "\""), std::string::npos) << "as written";
  triggers.ReleasePlayers();
}

TEST_F(SdlMediaTest, SoundThatCannotPlayCountsAsEnded) {
  std::vector<LogLine> lines;
  MediaTriggers triggers(
      media_, dispatcher_, [&](const LogLine& line) { lines.push_back(line); },
      [] { return std::string("12:00:00"); });
  const std::string silent = folder_ / "silent.wav";
  testing::WriteToneWav(silent, 0);

  triggers.PlaySoundFile(silent);
  ASSERT_TRUE(triggers.SoundBarVisible());
  ASSERT_TRUE(RunUntil([&] { return triggers.SoundSlot(0) == nullptr; }));
  dispatcher_.Drain();
  EXPECT_FALSE(triggers.SoundBarVisible());
  EXPECT_TRUE(lines.empty());
  triggers.ReleasePlayers();
}

}  // namespace
}  // namespace velmor
