#include "platform/locked_file.h"

#include <random>
#include <utility>

namespace velmor {
namespace {

namespace fs = std::filesystem;

// A bound only so that a folder in which every name seems taken cannot keep us looping.
constexpr int kMaxStagingTries = 100;

}  // namespace

LockedFile::LockedFile(LockedFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)), path_(std::move(other.path_)) {}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kClosed);
    path_ = std::move(other.path_);
  }
  return *this;
}

bool LockedFile::ReadAll(std::string& content, std::error_code& error) {
  content.clear();
  std::string chunk;
  for (;;) {
    if (!ReadAt(content.size(), 1 << 20, chunk, error)) return false;
    if (chunk.empty()) return true;
    content += chunk;
  }
}

bool LockedFile::IsOpen() const {
  return handle_ != kClosed;
}

void LockedFile::Close() {
  CloseHandleOf(handle_);
}

LockedFile LockedFile::CreateBeside(const fs::path& target, std::error_code& error) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int tries = 0; tries < kMaxStagingTries; ++tries) {
    fs::path staged = target;
    staged += ".tmp" + std::to_string(random() % 1000000);
    Handle handle = CreateNew(staged, error);
    if (handle == kClosed && error == std::errc::file_exists) continue;
    if (handle == kClosed) return {};
    // Nobody else knows the name yet, so the lock cannot be taken; failing means the file
    // system has no locks, and then the file could not be told from one left behind.
    if (!Lock(handle, error)) {
      CloseHandleOf(handle);
      std::error_code ignored;
      fs::remove(staged, ignored);
      return {};
    }
    LockedFile file;
    file.handle_ = handle;
    file.path_ = std::move(staged);
    error.clear();
    return file;
  }
  error = std::make_error_code(std::errc::file_exists);
  return {};
}

LockedFile LockedFile::TakeAbandoned(const fs::path& path, std::error_code& error) {
  error.clear();
  std::error_code reason;
  Handle handle = OpenExisting(path, reason);
  if (handle == kClosed) {
    if (reason != std::errc::no_such_file_or_directory &&
        reason != std::errc::too_many_symbolic_link_levels) {
      error = reason;
    }
    return {};
  }
  std::error_code ignored;
  if (!Lock(handle, ignored) || !SameFile(handle, path)) {
    CloseHandleOf(handle);
    return {};
  }
  LockedFile file;
  file.handle_ = handle;
  file.path_ = path;
  return file;
}

}  // namespace velmor
