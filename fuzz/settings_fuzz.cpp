// The settings file reader over arbitrary content. The lines must hold every byte of the text
// before its first NUL except the line breaks, in order; no line may hold a break or a NUL;
// there is one line per break plus an unbroken tail; joining and splitting again gives the
// same lines; and reading the content from a file gives the same lines again. (Writing is
// left out: its flush to the disk on every run would only wear the disk.)
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_folder.h"
#include "shell/settings_file.h"

namespace {

std::size_t CountBreaks(std::string_view text) {
  std::size_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++breaks;
    if (text[i] == '\r') {
      ++breaks;
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return breaks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFolder folder("velmor_settings_fuzz");
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = velmor::SplitSettingsText(content);

  const std::string_view text = content.substr(0, content.find('\0'));
  std::string without_breaks;
  for (const char c : text) {
    if (c != '\r' && c != '\n') without_breaks += c;
  }
  std::string joined;
  for (const std::string& line : lines) {
    FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    joined += line;
  }
  FUZZ_CHECK(joined == without_breaks);
  const bool unbroken_tail = !text.empty() && text.back() != '\r' && text.back() != '\n';
  FUZZ_CHECK(lines.size() == CountBreaks(text) + (unbroken_tail ? 1 : 0));

  const std::string written = velmor::JoinSettingsLines(lines);
  FUZZ_CHECK(written.size() == joined.size() + 2 * lines.size());
  FUZZ_CHECK(velmor::SplitSettingsText(written) == lines);

  const std::filesystem::path file = folder.path() / velmor::kSettingsFileName;
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(content.data(), static_cast<std::streamsize>(size));
  FUZZ_CHECK(velmor::ReadSettingsFile(file) == lines);

  std::vector<std::string> padded = lines;
  velmor::PadSettingsLines(padded, velmor::DefaultSettingsLines("2592", "127.0.0.1", "2593"));
  FUZZ_CHECK(padded.size() == std::max(lines.size(), velmor::kSettingsLineCount));
  FUZZ_CHECK(std::equal(lines.begin(), lines.end(), padded.begin()));
  return 0;
}
