#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "shell/UOListener.h"
#include "shell/tray_images.h"
#include "tests/fakes/fake_media.h"
#include "tests/fakes/fake_tray_icon.h"
#include "tests/fakes/manual_timers.h"
#include "tests/fakes/queue_dispatcher.h"
#include "tests/fakes/recording_dialogs.h"

namespace velmor::testing {

// The folder's name has letters beyond ASCII, as a player's may.
inline const std::string kFolderWord =
    "Gr\xFC\xDF"
    "e";

// A main window over fakes, with its files in a fresh folder of its own.
class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              PathFromText("velmor_" + kFolderWord + "_" + std::to_string(::getpid()) + "_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }

  void TearDown() override {
    form_.reset();
    std::filesystem::remove_all(folder_);
  }

  void WriteSettings(const std::string& content) {
    std::ofstream(folder_ / "Velmor.ini", std::ios::binary) << content;
  }

  std::string ReadSettings() const {
    std::ifstream in(folder_ / "Velmor.ini", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::vector<std::string> LogFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("Velmor_Logfile_", 0) == 0) names.push_back(name);
    }
    return names;
  }

  // Constructs the window and applies the start-hidden setting, as the entry does.
  TMainForm& Create() {
    form_ = std::make_unique<TMainForm>(
        MainFormServices{dialogs_, dispatcher_, timers_, tray_, media_, "velmor", folder_});
    form_->OnTerminate = [this] { ++terminations_; };
    form_->ApplyStartHidden();
    return *form_;
  }

  // The index of the tray picture shown now, or -1.
  int TrayFrame() const {
    for (std::size_t i = 0; i < images_.size(); ++i) {
      if (images_[i] == tray_.picture) return static_cast<int>(i);
    }
    return -1;
  }

  std::filesystem::path folder_;
  RecordingDialogs dialogs_;
  QueueDispatcher dispatcher_;
  ManualTimers timers_;
  FakeTrayIcon tray_;
  FakeMediaSystem media_;
  std::unique_ptr<TMainForm> form_;
  int terminations_ = 0;
  const std::vector<IconImage> images_ = DrawTrayImages();
};

}  // namespace velmor::testing
