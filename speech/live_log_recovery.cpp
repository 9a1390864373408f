#include "speech/live_log_recovery.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
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

// The header, colour table and room of any live log file fit in this.
constexpr std::size_t kHeaderWindow = 2 << 20;
// A paragraph longer than this (a line of 65535 characters, each as a \uN escape, is about
// 600 KB) is no paragraph the writer made.
constexpr std::size_t kLongestParagraph = 4 << 20;
constexpr std::string_view kParagraphEnd = "\\par\n";

// Reads back exactly what the RTF writer writes. A function returns kMore when `in` ends
// before it could tell, kDamaged at the first byte the writer would not have written.
enum class Reading { kDone, kMore, kDamaged };

class Parser {
 public:
  Parser(std::string_view in, std::size_t pos) : in_(in), pos_(pos) {}

  std::size_t Position() const { return pos_; }

  // "{\rtf1" ... "{\colortbl ;" entries "}" line breaks "\pard\plain\f0\fsN\n".
  Reading Header(std::vector<TColor>& colors) {
    ran_out_ = false;
    if (!Take("{\\rtf1")) return Ended();
    const std::size_t table = in_.find("{\\colortbl ;", pos_);
    if (table == std::string_view::npos) return Reading::kMore;
    pos_ = table + 12;
    while (!Take("}")) {
      int red = 0, green = 0, blue = 0;
      if (!Take("\\red") || !Number(red) || !Take("\\green") || !Number(green) || !Take("\\blue") ||
          !Number(blue) || !Take(";")) {
        return Ended();
      }
      colors.push_back(RGB(red, green, blue));
    }
    while (Take("\n")) {
    }
    int half_points = 0;
    if (!Take("\\pard\\plain\\f0\\fs") || !Number(half_points) || !Take("\n")) {
      return Ended();
    }
    return Reading::kDone;
  }

  // "{\*\velmornewestline N}" before the document's end.
  Reading Trailer(std::optional<std::time_t>& newest) {
    const std::size_t start = pos_;
    ran_out_ = false;
    long long value = 0;
    if (Take(LiveLogFile::kNewestLineGroup) && Number(value) && Take("}")) {
      newest = static_cast<std::time_t>(value);
      return Reading::kDone;
    }
    pos_ = start;
    return Ended();
  }

  // "\cfN[\b][\i] text[\b0][\i0]\par\n"; the text comes back as UTF-8 (bytes of the code
  // page as their characters, \uN? as UTF-16 units). The position moves only past a whole
  // paragraph.
  Reading Paragraph(const std::vector<TColor>& colors, LogLine& line) {
    const std::size_t start = pos_;
    ran_out_ = false;
    const Reading reading = ParagraphFrom(colors, line);
    if (reading != Reading::kDone) pos_ = start;
    return reading;
  }

 private:
  Reading ParagraphFrom(const std::vector<TColor>& colors, LogLine& line) {
    int color_index = 0;
    if (!Take("\\cf") || !Number(color_index)) return Ended();
    const bool bold = Take("\\b");
    const bool italic = Take("\\i");
    if (!Take(" ")) return Ended();
    line = LogLine{};
    line.style = bold ? LogStyle::kBoldItalic : italic ? LogStyle::kItalic : LogStyle::kRegular;
    // An entry the table lost to a cut-short write shows in the reader's default colour.
    if (color_index >= 1 && color_index <= static_cast<int>(colors.size())) {
      line.color = colors[static_cast<std::size_t>(color_index) - 1];
    }
    std::u16string units;
    while (pos_ < in_.size()) {
      const char c = in_[pos_++];
      if (c == '{' || c == '}' || c == '\n') return Reading::kDamaged;
      if (c == '\\' && Take("u")) {
        int unit = 0;
        const bool negative = Take("-");
        if (!Number(unit) || !Take("?")) return Ended();
        units.push_back(static_cast<char16_t>(negative ? 65536 - unit : unit));
        continue;
      }
      if (!units.empty()) {
        line.text += Utf16ToUtf8(units);
        units.clear();
      }
      if (c != '\\' && static_cast<unsigned char>(c) < 0x80) {
        line.text += c;
      } else if (c != '\\') {
        line.text += Windows1252ToUtf8(std::string_view(&c, 1));
      } else if (Take("\\") || Take("{") || Take("}")) {
        line.text += in_[pos_ - 1];
      } else if (Take("tab ")) {
        line.text += '\t';
      } else if (Take("'")) {
        if (pos_ + 2 > in_.size()) return Reading::kMore;
        if (Hex(in_[pos_]) < 0 || Hex(in_[pos_ + 1]) < 0) return Reading::kDamaged;
        const char byte = static_cast<char>(Hex(in_[pos_]) * 16 + Hex(in_[pos_ + 1]));
        line.text += Windows1252ToUtf8(std::string_view(&byte, 1));
        pos_ += 2;
      } else if ((bold && Take("b0")) || (italic && Take("i0"))) {
        // The style's end; the style is known from the paragraph's start.
      } else if (Take("par\n")) {
        return Reading::kDone;
      } else {
        return Ended();
      }
    }
    return Reading::kMore;
  }

  // A piece that did not match: the input ran out while it still could have, or a byte
  // was wrong.
  Reading Ended() const { return ran_out_ ? Reading::kMore : Reading::kDamaged; }

  bool Take(std::string_view expected) {
    const std::string_view here = in_.substr(pos_, expected.size());
    if (here == expected) {
      pos_ += expected.size();
      return true;
    }
    if (here.size() < expected.size() && expected.starts_with(here)) ran_out_ = true;
    return false;
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
    if (pos_ == in_.size()) ran_out_ = true;  // more digits may follow
    return pos_ > start;
  }

  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }

  std::string_view in_;
  std::size_t pos_;
  bool ran_out_ = false;  // the input ended in the middle of something that could match
};

// The paragraphs of a live log file, read a piece at a time from a source that hands out
// bytes from an offset. Damage is passed over to the next paragraph's end.
class ParagraphStream {
 public:
  using Source = std::function<bool(std::uint64_t offset, std::string& piece)>;

  ParagraphStream(Source source, std::uint64_t body_start)
      : source_(std::move(source)), offset_(body_start) {}

  // Calls `take` with each line in order. False when the source failed.
  template <typename Take>
  bool Walk(const std::vector<TColor>& colors, Take take, const std::atomic<bool>* stop) {
    LogLine line;
    for (;;) {
      if (stop && stop->load()) return false;
      Parser parser(window_, pos_);
      Reading reading = parser.Paragraph(colors, line);
      if (reading == Reading::kDone) {
        pos_ = parser.Position();
        take(line);
        continue;
      }
      if (reading == Reading::kDamaged) {
        reading = parser.Trailer(newest_);
        if (reading == Reading::kDone) return true;
        if (reading == Reading::kDamaged && AtDocumentEnd()) return true;
      }
      if (reading == Reading::kMore && window_.size() - pos_ < kLongestParagraph) {
        if (!More()) return false;
        if (!at_end_) continue;
        // The file ends here: it was cut short, which is no damage.
        return true;
      }
      damaged_ = true;
      if (!SkipPastParagraphEnd()) return !failed_;
    }
  }

  bool Damaged() const { return damaged_; }
  std::optional<std::time_t> NewestLineTime() const { return newest_; }

 private:
  // Drops what was read and appends the next piece; at_end_ once nothing more comes.
  bool More() {
    window_.erase(0, pos_);
    pos_ = 0;
    std::string piece;
    if (!source_(offset_, piece)) {
      failed_ = true;
      return false;
    }
    at_end_ = piece.empty();
    offset_ += piece.size();
    window_ += piece;
    return true;
  }

  // The document's end without the newest line's time, as a log file ends: "}" and a line
  // break, then nothing.
  bool AtDocumentEnd() {
    while (!at_end_ && window_.size() - pos_ <= kRtfDocumentEnd.size()) {
      if (!More()) return false;
    }
    const std::string_view rest = std::string_view(window_).substr(pos_);
    return rest == kRtfDocumentEnd || rest == kRtfDocumentEnd.substr(0, 1);
  }

  // Past the next "\par\n", reading on as far as it takes; false at the file's end.
  bool SkipPastParagraphEnd() {
    for (;;) {
      const std::size_t end = window_.find(kParagraphEnd, pos_);
      if (end != std::string::npos) {
        pos_ = end + kParagraphEnd.size();
        return true;
      }
      // Keep what could be the start of the mark.
      pos_ = std::max(pos_, window_.size() - std::min(window_.size(), kParagraphEnd.size() - 1));
      if (!More() || at_end_) return false;
    }
  }

  Source source_;
  std::uint64_t offset_;
  std::string window_;
  std::size_t pos_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
  bool damaged_ = false;
  std::optional<std::time_t> newest_;
};

std::time_t ModificationTime(const fs::path& path) {
  std::error_code error;
  const fs::file_time_type when = fs::last_write_time(path, error);
  if (error) return std::time(nullptr);
  return std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(when)));
}

// A time a line of this program can have had: from the year 2000 to a day from now.
bool Plausible(std::time_t when) {
  return when >= 946684800 && when <= std::time(nullptr) + 24 * 60 * 60;
}

std::string NameWithSuffix(const std::string& log_name, const char* suffix) {
  return log_name.substr(0, log_name.size() - 4) + suffix + ".rtf";
}

// Writes the log file for one left-behind file, which `file` holds locked; throws when it
// cannot. Nothing when there is no log file to write or `stop` was set.
std::optional<std::string> Recover(const fs::path& folder, LockedFile& file,
                                   const std::atomic<bool>* stop) {
  const std::string folder_text = TextFromPath(folder);
  const fs::path path = file.Path();
  std::error_code error;
  std::string head;
  if (!file.ReadAt(0, kHeaderWindow, head, error)) return std::nullopt;
  std::vector<TColor> colors;
  Parser header(head, 0);
  if (header.Header(colors) != Reading::kDone) {
    if (head.empty()) {
      file.Remove();
      return std::nullopt;
    }
    // Not the file this program writes: kept as it is, under a log file's name.
    file.Close();
    return ClaimLogFileName(path, folder_text, LogFileName(LocalTime(ModificationTime(path))));
  }
  const auto source = [&file](std::uint64_t offset, std::string& piece) {
    std::error_code ignored;
    return file.ReadAt(offset, kRecoveryPieceBytes, piece, ignored);
  };

  // First the colours in the order the lines use them, as the exit would write them.
  RtfColorTable used;
  bool worth_a_file = false;
  ParagraphStream survey(source, header.Position());
  if (!survey.Walk(
          colors,
          [&](const LogLine& line) {
            used.IndexOf(line.color);
            worth_a_file = worth_a_file || !IsStartOrEndLine(line);
          },
          stop)) {
    return std::nullopt;
  }
  const std::optional<std::time_t> newest = survey.NewestLineTime();
  const std::string name =
      LogFileName(LocalTime(newest && Plausible(*newest) ? *newest : ModificationTime(path)));
  std::optional<std::string> written;
  if (worth_a_file) {
    const RtfFont font{ConversationLog::kFontName, ConversationLog::kFontPoints};
    LockedFile out = LockedFile::CreateBeside(folder / PathFromText(name), error);
    if (!out.IsOpen())
      throw Exception("Die Logdatei \"" + name + "\" konnte nicht geschrieben werden");
    std::string pending = RtfDocumentStart(font);
    used.AppendTo(pending);
    pending += '\n';
    pending += RtfBodyStart(font);
    std::uint64_t out_offset = 0;
    bool out_failed = false;
    const auto flush = [&] {
      out_failed = out_failed || !out.WriteAt(out_offset, pending, error);
      out_offset += pending.size();
      pending.clear();
    };
    ParagraphStream copy(source, header.Position());
    const bool read = copy.Walk(
        colors,
        [&](const LogLine& line) {
          AppendRtfParagraph(pending, line, used.Find(line.color));
          if (pending.size() >= kRecoveryPieceBytes) flush();
        },
        stop);
    pending += kRtfDocumentEnd;
    flush();
    if (!read) {
      // Stopped, or the file could not be read: it stays as it is.
      out.Remove();
      return std::nullopt;
    }
    if (out_failed || !out.Sync(error)) {
      out.Remove();
      throw Exception("Die Logdatei \"" + name + "\" konnte nicht geschrieben werden");
    }
    written = ClaimLogFileName(out.Path(), folder_text, name);
  }
  if (survey.Damaged()) {
    // What did not read stays on disk, beside what did.
    file.Close();
    ClaimLogFileName(path, folder_text, NameWithSuffix(name, "_Original"));
  } else {
    file.Remove();
  }
  return written;
}

}  // namespace

LiveLogContent ReadLiveLogFile(std::string_view rtf, std::size_t piece_size) {
  LiveLogContent content;
  std::vector<TColor> colors;
  Parser header(rtf, 0);
  if (header.Header(colors) != Reading::kDone) return content;
  content.header_read = true;
  ParagraphStream stream(
      [rtf, piece_size](std::uint64_t offset, std::string& piece) {
        piece = offset < rtf.size()
                    ? std::string(rtf.substr(offset, std::max<std::size_t>(piece_size, 1)))
                    : std::string();
        return true;
      },
      header.Position());
  stream.Walk(
      colors, [&](const LogLine& line) { content.lines.push_back(line); }, nullptr);
  content.newest_line_time = stream.NewestLineTime();
  content.damaged = stream.Damaged();
  return content;
}

std::vector<std::string> RecoverLiveLogFiles(const fs::path& folder,
                                             const std::atomic<bool>* stop) {
  std::vector<fs::path> found;
  std::error_code error;
  fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const fs::path name = entry->path().filename();
    if (LiveLogFile::IsFileName(TextFromPath(name))) found.push_back(folder / name);
  }
  std::vector<std::string> written;
  for (const fs::path& path : found) {
    if (stop && stop->load()) break;
    LockedFile file = LockedFile::TakeAbandoned(path, error);
    if (!file.IsOpen()) continue;
    try {
      if (auto name = Recover(folder, file, stop)) written.push_back(std::move(*name));
    } catch (...) {
      // Left as it is for the next start: whatever went wrong must not stop this one.
    }
  }
  return written;
}

}  // namespace velmor
