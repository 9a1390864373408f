#include "platform/atomic_file.h"

#include <random>
#include <string>

#include "platform/file_io.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// A bound only so that a folder in which every name seems taken cannot keep us looping.
constexpr int kMaxStagingTries = 100;

}  // namespace

fs::path WriteStagedFile(const fs::path& target, std::string_view content, std::error_code& error) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int tries = 0; tries < kMaxStagingTries; ++tries) {
    fs::path staged = target;
    staged += ".tmp" + std::to_string(random() % 1000000);
    if (WriteNewFile(staged, content, error)) return staged;
    if (error != std::errc::file_exists) return {};
  }
  error = std::make_error_code(std::errc::file_exists);
  return {};
}

bool CommitReplacing(const fs::path& staged, const fs::path& target, std::error_code& error) {
  return RenameReplacing(staged, target, error);
}

bool CommitIfAbsent(const fs::path& staged, const fs::path& target, std::error_code& error) {
  return RenameIfAbsent(staged, target, error);
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
