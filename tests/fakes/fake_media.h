#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/media_device.h"

namespace velmor::testing {

// A media system whose files exist only by name. Every call on a device is written to one
// journal ("open a.wav", "play a.wav", "stop a.wav", "eject a.wav", "pause a.wav",
// "close a.wav"), so tests can check the order of the steps across devices.
class FakeMediaSystem : public MediaSystem {
 public:
  // What the fake knows of one opened device; it stays readable after the device is closed.
  struct Record {
    std::string file_name;
    MediaKind kind = MediaKind::kSound;
    bool open = true;
    MediaTime position = 0;
    MediaTime length = 0;
    std::function<void()> finished;
  };

  // Makes a file that opens, of the given length; every other name fails like a missing file.
  void AddFile(const std::string& name, MediaTime length = 1000) { files_[name] = length; }

  std::unique_ptr<MediaDevice> Open(const std::string& file_name, MediaKind kind) override {
    auto file = files_.find(file_name);
    if (file == files_.end()) throw Exception("no such file: " + file_name);
    auto record = std::make_shared<Record>();
    record->file_name = file_name;
    record->kind = kind;
    record->length = file->second;
    records.push_back(record);
    Log("open", *record);
    return std::make_unique<Device>(*this, record);
  }

  // The device opened last, or the last one opened on the given file.
  Record& Last() { return *records.back(); }
  Record& LastOf(const std::string& file_name) {
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
      if ((*it)->file_name == file_name) return **it;
    }
    throw Exception("never opened: " + file_name);
  }

  // Plays the device to its end and delivers the finished notice, as the main thread would.
  // A closed device delivers nothing; returns whether a notice was delivered.
  bool Finish(Record& record) {
    if (!record.open) return false;
    record.position = record.length;
    return Notify(record);
  }

  // Delivers a notice where playback stands, at its end or not.
  bool Notify(Record& record) {
    if (!record.open || !record.finished) return false;
    auto handler = record.finished;
    handler();
    return true;
  }

  std::vector<std::string> journal;
  std::vector<std::shared_ptr<Record>> records;

 private:
  class Device : public MediaDevice {
   public:
    Device(FakeMediaSystem& system, std::shared_ptr<Record> record)
        : system_(system), record_(std::move(record)) {}
    ~Device() override {
      record_->open = false;
      record_->finished = nullptr;
      system_.Log("close", *record_);
    }
    void Play() override {
      if (record_->position >= record_->length) record_->position = 0;
      system_.Log("play", *record_);
    }
    void Pause() override { system_.Log("pause", *record_); }
    void Stop() override { system_.Log("stop", *record_); }
    void Eject() override { system_.Log("eject", *record_); }
    MediaTime Position() const override { return record_->position; }
    MediaTime Length() const override { return record_->length; }
    void SetFinishedHandler(std::function<void()> handler) override {
      record_->finished = std::move(handler);
    }

   private:
    FakeMediaSystem& system_;
    std::shared_ptr<Record> record_;
  };

  void Log(const char* what, const Record& record) {
    journal.push_back(std::string(what) + " " + record.file_name);
  }

  std::map<std::string, MediaTime> files_;
};

}  // namespace velmor::testing
