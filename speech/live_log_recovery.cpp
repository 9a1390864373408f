#include "speech/live_log_recovery.h"

#include <chrono>
#include <system_error>

#include "platform/exception.h"
#include "platform/file_io.h"
#include "platform/locked_file.h"
#include "platform/text_codec.h"
#include "platform/time_text.h"
#include "speech/conversation_log.h"
#include "speech/live_log_file.h"
#include "speech/rtf_writer.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// Reads back exactly what the RTF writer writes, and stops at the first byte it would not
// have written.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}

  LiveLogContent Read() {
    LiveLogContent content;
    if (!Take("{\\rtf1")) return content;
    const std::size_t table = in_.find("{\\colortbl ;", pos_);
    if (table == std::string_view::npos) return content;
    pos_ = table + 12;
    std::vector<TColor> colors;
    while (!Take("}")) {
      int red = 0, green = 0, blue = 0;
      if (!Take("\\red") || !Number(red) || !Take("\\green") || !Number(green) || !Take("\\blue") ||
          !Number(blue) || !Take(";")) {
        return content;
      }
      colors.push_back(RGB(red, green, blue));
    }
    while (Take("\n")) {
    }
    int half_points = 0;
    if (!Take("\\pard\\plain\\f0\\fs") || !Number(half_points) || !Take("\n")) return content;
    content.header_read = true;

    LogLine line;
    while (Paragraph(colors, line)) content.lines.push_back(std::move(line));
    long long newest = 0;
    if (Take(LiveLogFile::kNewestLineGroup) && Number(newest) && Take("}")) {
      content.newest_line_time = static_cast<std::time_t>(newest);
    }
    return content;
  }

 private:
  bool Take(std::string_view expected) {
    if (in_.substr(pos_, expected.size()) != expected) return false;
    pos_ += expected.size();
    return true;
  }

  template <typename Int>
  bool Number(Int& value) {
    const std::size_t start = pos_;
    value = 0;
    // Few enough digits that no number can overflow.
    const std::size_t most = sizeof(Int) >= 8 ? 18 : 9;
    while (pos_ < in_.size() && pos_ - start < most && in_[pos_] >= '0' && in_[pos_] <= '9') {
      value = value * 10 + (in_[pos_++] - '0');
    }
    return pos_ > start;
  }

  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }

  // "\cfN[\b][\i] text[\b0][\i0]\par\n"; the position is only moved past a whole paragraph.
  bool Paragraph(const std::vector<TColor>& colors, LogLine& line) {
    const std::size_t start = pos_;
    int color_index = 0;
    if (!Take("\\cf") || !Number(color_index)) return Fail(start);
    const bool bold = Take("\\b");
    const bool italic = Take("\\i");
    if (!Take(" ")) return Fail(start);
    line = LogLine{};
    line.style = bold ? LogStyle::kBoldItalic : italic ? LogStyle::kItalic : LogStyle::kRegular;
    // An entry the table lost to a cut-short write shows in the reader's default colour.
    if (color_index >= 1 && color_index <= static_cast<int>(colors.size())) {
      line.color = colors[static_cast<std::size_t>(color_index) - 1];
    }
    // The text comes back as UTF-8: bytes of the code page as their characters, \uN? as
    // UTF-16 units.
    std::u16string units;
    while (pos_ < in_.size()) {
      const char c = in_[pos_++];
      if (c == '{' || c == '}' || c == '\n') return Fail(start);
      if (c == '\\' && Take("u")) {
        int unit = 0;
        const bool negative = Take("-");
        if (!Number(unit) || !Take("?")) return Fail(start);
        units.push_back(static_cast<char16_t>(negative ? 65536 - unit : unit));
        continue;
      }
      line.text += Utf16ToUtf8(units);
      units.clear();
      if (c != '\\') {
        line.text += Windows1252ToUtf8(std::string_view(&c, 1));
        continue;
      }
      if (Take("\\") || Take("{") || Take("}")) {
        line.text += in_[pos_ - 1];
      } else if (Take("tab ")) {
        line.text += '\t';
      } else if (Take("'")) {
        if (pos_ + 2 > in_.size() || Hex(in_[pos_]) < 0 || Hex(in_[pos_ + 1]) < 0) {
          return Fail(start);
        }
        const char byte = static_cast<char>(Hex(in_[pos_]) * 16 + Hex(in_[pos_ + 1]));
        line.text += Windows1252ToUtf8(std::string_view(&byte, 1));
        pos_ += 2;
      } else if ((bold && Take("b0")) || (italic && Take("i0"))) {
        // The style's end; the style is known from the paragraph's start.
      } else if (Take("par\n")) {
        return true;
      } else {
        return Fail(start);
      }
    }
    return Fail(start);
  }

  bool Fail(std::size_t start) {
    pos_ = start;
    return false;
  }

  std::string_view in_;
  std::size_t pos_ = 0;
};

std::time_t ModificationTime(const fs::path& path) {
  std::error_code error;
  const fs::file_time_type when = fs::last_write_time(path, error);
  if (error) return std::time(nullptr);
  return std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(when)));
}

// Writes the log file for one left-behind file; throws when it cannot.
std::optional<std::string> Recover(const fs::path& folder, const fs::path& path,
                                   const std::string& raw) {
  const LiveLogContent content = ReadLiveLogFile(raw);
  const std::string name =
      LogFileName(LocalTime(content.newest_line_time.value_or(ModificationTime(path))));
  if (!content.header_read) {
    if (raw.empty()) return std::nullopt;
    return WriteLogFile(TextFromPath(folder), name, raw);
  }
  if (!WorthALogFile(content.lines)) return std::nullopt;
  return WriteLogFile(TextFromPath(folder), name,
                      RtfDocument(content.lines, RtfFont{ConversationLog::kFontName,
                                                         ConversationLog::kFontPoints}));
}

}  // namespace

LiveLogContent ReadLiveLogFile(std::string_view rtf) {
  return Reader(rtf).Read();
}

std::vector<std::string> RecoverLiveLogFiles(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const fs::path name = entry->path().filename();
    if (LiveLogFile::IsFileName(TextFromPath(name))) found.push_back(folder / name);
  }
  std::vector<std::string> written;
  for (const fs::path& path : found) {
    LockedFile file = LockedFile::TakeAbandoned(path, error);
    std::string raw;
    if (!file.IsOpen() || !file.ReadAll(raw, error)) continue;
    try {
      if (auto name = Recover(folder, path, raw)) written.push_back(std::move(*name));
      file.Remove();
    } catch (const Exception&) {
      // Left as it is for the next start.
    }
  }
  return written;
}

}  // namespace velmor
