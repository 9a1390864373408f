// POSIX file systems tell upper from lower case and know only '/': each component of the
// name is looked up in its folder, by listing the folder when it is not there as written.
#include "platform/windows_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "platform/text_codec.h"

namespace velmor {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

std::vector<std::string_view> Components(std::string_view name) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i])) continue;
    if (i > start) parts.push_back(name.substr(start, i - start));
    start = i + 1;
  }
  return parts;
}

// Windows drops blanks and dots at the end of a component, except in "." and "..".
std::string_view Trimmed(std::string_view part) {
  if (part == "." || part == "..") return part;
  const std::size_t end = part.find_last_not_of(" .");
  return end == std::string_view::npos ? std::string_view() : part.substr(0, end + 1);
}

bool Exists(const std::string& path, bool folder) {
  struct stat info {};
  if (::stat(path.empty() ? "." : path.c_str(), &info) != 0) return false;
  return !folder || S_ISDIR(info.st_mode);
}

std::string Joined(const std::string& folder, std::string_view entry) {
  if (folder.empty()) return std::string(entry);
  std::string path = folder;
  if (path.back() != '/') path += '/';
  return path += entry;
}

// The entry of `folder` that differs from `part` only in case.
std::optional<std::string> FindIgnoringCase(const std::string& folder, std::string_view part,
                                            bool want_folder) {
  DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!listing) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (found && name >= *found) continue;
    if (!EqualsIgnoringCaseUtf8(name, part)) continue;
    if (!Exists(Joined(folder, name), want_folder)) continue;
    found = std::string(name);
  }
  ::closedir(listing);
  return found;
}

}  // namespace

std::optional<std::string> LocateWindowsPath(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos ||
      KindOfWindowsName(name) != WindowsNameKind::kLocal) {
    return std::nullopt;
  }
  const std::vector<std::string_view> parts = Components(name);
  std::string path = IsSeparator(name.front()) ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string_view part = Trimmed(parts[i]);
    if (part.empty()) return std::nullopt;
    const bool want_folder = i + 1 < parts.size();
    const std::string as_written = Joined(path, part);
    if (Exists(as_written, want_folder)) {
      path = as_written;
      continue;
    }
    const std::optional<std::string> entry = FindIgnoringCase(path, part, want_folder);
    if (!entry) return std::nullopt;
    path = Joined(path, *entry);
  }
  return path;
}

}  // namespace velmor
