#include "platform/atomic_file.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <random>
#include <string>

#include "platform/file_io.h"
#include "platform/locked_file.h"

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

void RemoveStagedFilesLeftBehind(const fs::path& folder,
                                 const std::function<bool(const std::string& target)>& is_target) {
  std::error_code error;
  const auto a_minute_ago = fs::file_time_type::clock::now() - std::chrono::minutes(1);
  std::vector<fs::path> stale;
  fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const std::string name = TextFromPath(entry->path().filename());
    const std::size_t mark = name.rfind(".tmp");
    if (mark == std::string::npos || mark + 4 == name.size() ||
        !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(mark) + 4, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) ||
        !is_target(name.substr(0, mark))) {
      continue;
    }
    std::error_code time_error;
    if (fs::last_write_time(entry->path(), time_error) < a_minute_ago && !time_error) {
      stale.push_back(entry->path());
    }
  }
  for (const fs::path& path : stale) {
    LockedFile file = LockedFile::TakeAbandoned(path, error);
    file.Remove();
  }
}

bool WriteFileReplacing(const fs::path& target, std::string_view content, std::error_code& error) {
  const fs::path staged = WriteStagedFile(target, content, error);
  if (staged.empty()) return false;
  CopyPermissions(target, staged);
  if (CommitReplacing(staged, target, error)) return true;
  std::error_code ignored;
  fs::remove(staged, ignored);
  return false;
}

}  // namespace velmor
