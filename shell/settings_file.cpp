#include "shell/settings_file.h"

#include <cstdio>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/file_io.h"

namespace velmor {

std::vector<std::string> SplitSettingsText(std::string_view text) {
  if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinSettingsLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::optional<std::vector<std::string>> ReadSettingsFile(const std::filesystem::path& path) {
  std::FILE* file = OpenRegularFile(path);
  if (file == nullptr) return std::nullopt;
  std::string content;
  char buffer[4096];
  std::size_t got;
  while (content.size() < kMostSettingsBytes &&
         (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    content.append(buffer, got);
  }
  if (content.size() > kMostSettingsBytes) content.resize(kMostSettingsBytes);
  // A directory opens on some systems and only fails here.
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return SplitSettingsText(content);
}

bool WriteSettingsFile(const std::vector<std::string>& lines, const std::filesystem::path& path) {
  // A file the player made read-only stays as it is, as Windows keeps it.
  if (IsReadOnly(path)) return false;
  std::error_code error;
  return WriteFileReplacing(path, JoinSettingsLines(lines), error);
}

std::vector<std::string> DefaultSettingsLines(const std::string& client_port,
                                              const std::string& server_ip,
                                              const std::string& server_port) {
  return {client_port, server_ip, server_port, kRelayStop, kWindowShow, kAnimationOn};
}

void PadSettingsLines(std::vector<std::string>& lines, const std::vector<std::string>& defaults) {
  for (std::size_t i = lines.size(); i < defaults.size(); ++i) lines.push_back(defaults[i]);
}

}  // namespace velmor
