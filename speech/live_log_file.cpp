#include "speech/live_log_file.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/exception.h"
#include "platform/file_io.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// Room for about 80 colours at the least, for a log without a hue file.
constexpr std::size_t kMinTableRoom = 2048;
constexpr std::size_t kSpareColors = 8;
// Hues are 15-bit colours: no hue file, however large, gives more.
constexpr std::size_t kMostHueColors = 1 << 15;
// A bound only, so that a folder in which every name seems taken cannot keep us looping.
constexpr int kMaxFileNumber = 999;

[[noreturn]] void ThrowNoFile(const std::string& name) {
  throw Exception("Die Logdatei \"" + name + "\" konnte nicht geschrieben werden");
}

}  // namespace

std::string LiveLogFile::FileName(int number) {
  std::string name = kNameStem;
  if (number > 1) name += "_" + std::to_string(number);
  return name + ".rtf";
}

bool LiveLogFile::IsFileName(const std::string& name) {
  const std::string stem = kNameStem;
  if (name.size() < stem.size() + 4 || name.compare(0, stem.size(), stem) != 0 ||
      name.compare(name.size() - 4, 4, ".rtf") != 0) {
    return false;
  }
  const std::string middle = name.substr(stem.size(), name.size() - stem.size() - 4);
  if (middle.empty()) return true;
  return middle.size() >= 2 && middle[0] == '_' && middle[1] != '0' &&
         std::all_of(middle.begin() + 1, middle.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

LiveLogFile::LiveLogFile(ConversationLog& log, fs::path folder, TimerHost& timers)
    : log_(log), folder_(std::move(folder)), timer_(timers, kTickMilliseconds), table_room_(0) {
  ExpectColors(0);
  timer_.OnTimer = [this] { Tick(); };
  observer_ = log.AddObserver([this](LogLineView) {
    LineAppended(std::time(nullptr));
    if (!closed_) timer_.SetEnabled(true);
  });
}

void LiveLogFile::ExpectColors(std::size_t colors) {
  // A few spare for good measure.
  table_room_ = std::max(kMinTableRoom, (std::min(colors, kMostHueColors) + kSpareColors) *
                                            RtfColorTable::kLongestEntry);
}

LiveLogFile::~LiveLogFile() {
  log_.RemoveObserver(observer_);
  Close();
}

bool LiveLogFile::Tick() {
  const bool more = TickOnce();
  if (!more) timer_.SetEnabled(false);
  return more;
}

bool LiveLogFile::TickOnce() {
  if (closed_) return false;
  // Removed by someone while it was open: made again, with every line.
  if (file_.IsOpen() && !file_.StillNamed()) file_.Close();
  if (!file_.IsOpen()) {
    if (!WorthALogFile(log_.Lines())) return false;
    if (ticks_until_create_ > 0) {
      --ticks_until_create_;
      return true;
    }
    if (!WriteWholeFile()) {
      ticks_until_create_ = kTicksPerCreateAttempt;
      return true;
    }
  } else if (lines_in_file_ < log_.LineCount()) {
    AppendNewLines();
  }
  ++ticks_since_sync_;
  if (unsynced_ && ticks_since_sync_ >= kTicksPerSync) Sync();
  return lines_in_file_ < log_.LineCount() || unsynced_;
}

void LiveLogFile::Close() {
  timer_.SetEnabled(false);
  if (closed_) return;
  if (file_.IsOpen() && file_.StillNamed()) {
    if (lines_in_file_ < log_.LineCount()) AppendNewLines();
  } else if (WorthALogFile(log_.Lines())) {
    // A log worth a file that ends before its first tick (or lost its file) still leaves one.
    WriteWholeFile();
  }
  if (unsynced_) Sync();
  file_.Close();
  closed_ = true;
}

void LiveLogFile::Discard() {
  timer_.SetEnabled(false);
  file_.Remove();
  closed_ = true;
}

std::string LiveLogFile::KeepAsLogFile(const std::string& name) {
  const fs::path path = Path();
  Close();
  if (path.empty()) ThrowNoFile(name);
  return ClaimLogFileName(path, TextFromPath(folder_), name);
}

std::string LiveLogFile::Trailer() const {
  const std::time_t newest = newest_line_time_ != 0 ? newest_line_time_ : std::time(nullptr);
  std::string trailer(kNewestLineGroup);
  trailer += std::to_string(static_cast<long long>(newest));
  trailer += '}';
  trailer += kRtfDocumentEnd;
  return trailer;
}

bool LiveLogFile::Sync() {
  std::error_code error;
  if (!file_.Sync(error)) return false;
  unsynced_ = false;
  ticks_since_sync_ = 0;
  return true;
}

int LiveLogFile::ColorIndex(TColor color) {
  const int found = colors_.Find(color);
  if (found >= 0) return found;
  std::string entry;
  RtfColorTable::AppendEntry(entry, color);
  // The room is full only when a replaced hue file brought more colours than it had.
  if (table_length_ + entry.size() > table_room_) return colors_.Nearest(color);
  table_length_ += entry.size();
  return colors_.IndexOf(color);
}

std::string LiveLogFile::Paragraphs(int first) {
  std::string paragraphs;
  for (int i = first; i < log_.LineCount(); ++i) {
    const LogLineView line = log_.Line(i);
    AppendRtfParagraph(paragraphs, line, ColorIndex(line.color));
  }
  return paragraphs;
}

// Writes the whole document to a new file, synced, and gives it the first free name: the
// name leads to a complete document from its first moment.
bool LiveLogFile::WriteWholeFile() {
  const int count = log_.LineCount();
  colors_ = RtfColorTable();
  table_length_ = 0;
  const std::string body = Paragraphs(0);
  std::string content = RtfDocumentStart(font_);
  content += "{\\colortbl ;";
  colors_.AppendEntriesTo(content, 1);
  const std::uint64_t table_end = content.size();
  content += '}';
  content.append(table_room_ - table_length_, '\n');
  content += '\n';
  content += RtfBodyStart(font_);
  const std::uint64_t body_end = content.size() + body.size();
  content += body;
  content += Trailer();

  std::error_code error;
  LockedFile staged = LockedFile::CreateBeside(folder_ / FileName(1), error);
  if (!staged.IsOpen()) return false;
  if (!staged.WriteAt(0, content, error) || !staged.Sync(error)) {
    staged.Remove();
    return false;
  }
  for (int number = 1;; ++number) {
    const fs::path name = folder_ / FileName(number);
    if (CommitIfAbsent(staged.Path(), name, error)) {
      staged.SetPath(name);
      break;
    }
    if (error != std::errc::file_exists || number == kMaxFileNumber) {
      staged.Remove();
      return false;
    }
  }
  SyncFolder(folder_);
  file_ = std::move(staged);
  colors_in_file_ = colors_.Size();
  table_end_ = table_end;
  body_end_ = body_end;
  file_end_ = content.size();
  lines_in_file_ = count;
  unsynced_ = false;
  ticks_since_sync_ = 0;
  return true;
}

bool LiveLogFile::AppendNewLines() {
  const int count = log_.LineCount();
  std::string body = Paragraphs(lines_in_file_);
  std::error_code error;
  // The new colours first, in the room after the table: a line may only name a colour the
  // file already has.
  if (colors_.Size() > colors_in_file_) {
    std::string entries;
    colors_.AppendEntriesTo(entries, static_cast<int>(colors_in_file_) + 1);
    if (!file_.WriteAt(table_end_, entries + '}', error)) return false;
    table_end_ += entries.size();
    colors_in_file_ = colors_.Size();
  }
  const std::string trailer = Trailer();
  body += trailer;
  if (!file_.WriteAt(body_end_, body, error)) {
    // Whatever part got through ends the document midway: put its end back.
    std::error_code ignored;
    if (file_.Truncate(body_end_, ignored)) file_.WriteAt(body_end_, trailer, ignored);
    file_end_ = body_end_ + trailer.size();
    unsynced_ = true;
    return false;
  }
  body_end_ += body.size() - trailer.size();
  const std::uint64_t end = body_end_ + trailer.size();
  if (end < file_end_ && !file_.Truncate(end, error)) return false;
  file_end_ = end;
  lines_in_file_ = count;
  unsynced_ = true;
  return true;
}

}  // namespace velmor
