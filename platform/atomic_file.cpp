#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

#include "platform/file_io.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// A bound only so that a folder in which every name seems taken cannot keep us looping.
constexpr int kMaxStagingTries = 100;

// The reason of the C library call that just failed; an input/output error when it left
// none.
std::error_code LastError() {
  return errno != 0 ? std::error_code(errno, std::generic_category())
                    : std::make_error_code(std::errc::io_error);
}

}  // namespace

fs::path WriteStagedFile(const fs::path& target, std::string_view content, std::error_code& error) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int tries = 0; tries < kMaxStagingTries; ++tries) {
    fs::path staged = target;
    staged += ".tmp" + std::to_string(random() % 1000000);
    errno = 0;
    // "x": fail rather than reuse a file that exists, another process's included.
    std::FILE* file = OpenFile(staged, "wbx");
    if (file == nullptr) {
      error = LastError();
      if (error == std::errc::file_exists) continue;
      return {};
    }
    errno = 0;
    bool written =
        std::fwrite(content.data(), 1, content.size(), file) == content.size() && SyncToDisk(file);
    if (!written) error = LastError();
    errno = 0;
    if (std::fclose(file) != 0 && written) {
      written = false;
      error = LastError();
    }
    if (written) {
      error.clear();
      return staged;
    }
    std::error_code ignored;
    fs::remove(staged, ignored);
    return {};
  }
  error = std::make_error_code(std::errc::file_exists);
  return {};
}

bool CommitReplacing(const fs::path& staged, const fs::path& target, std::error_code& error) {
  fs::rename(staged, target, error);
  return !error;
}

bool CommitIfAbsent(const fs::path& staged, const fs::path& target, std::error_code& error) {
  // A hard link fails on a taken name however a race with another process goes; where the
  // file system has no hard links, a rename after a check is the best there is.
  fs::create_hard_link(staged, target, error);
  if (!error) {
    std::error_code ignored;
    fs::remove(staged, ignored);
    return true;
  }
  if (error == std::errc::file_exists) return false;
  std::error_code status_error;
  if (fs::symlink_status(target, status_error).type() != fs::file_type::not_found) {
    error = std::make_error_code(std::errc::file_exists);
    return false;
  }
  fs::rename(staged, target, error);
  return !error;
}

bool WriteFileReplacing(const fs::path& target, std::string_view content, std::error_code& error) {
  const fs::path staged = WriteStagedFile(target, content, error);
  if (staged.empty()) return false;
  if (CommitReplacing(staged, target, error)) return true;
  std::error_code ignored;
  fs::remove(staged, ignored);
  return false;
}

}  // namespace velmor
