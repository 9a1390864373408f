// Windows itself takes both separators and ignores case; only blanks and dots at the end of
// a component are dropped here, as the system drops them only at the end of a whole name.
#include "platform/windows_path.h"

#include <windows.h>

#include "platform/text_codec.h"

namespace velmor {

std::optional<std::string> LocateWindowsPath(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos ||
      KindOfWindowsName(name) != WindowsNameKind::kLocal) {
    return std::nullopt;
  }
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  std::string path;
  if (separator(name[0])) path = "\\";  // the root
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !separator(name[i])) continue;
    std::string_view part = name.substr(start, i - start);
    start = i + 1;
    if (part.empty()) continue;
    if (part != "." && part != "..") {
      const std::size_t end = part.find_last_not_of(" .");
      // A component of nothing but blanks and dots names nothing.
      if (end == std::string_view::npos) return std::nullopt;
      part = part.substr(0, end + 1);
    }
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += part;
  }
  if (GetFileAttributesW(Utf8ToWide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
    return std::nullopt;
  }
  return path;
}

}  // namespace velmor
