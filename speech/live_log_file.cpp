#include "speech/live_log_file.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/file_io.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// Room for about 80 colours at first; a session of ordinary speech uses a few dozen.
constexpr std::size_t kMinTableRoom = 2048;
// A bound only, so that a folder in which every name seems taken cannot keep us looping.
constexpr int kMaxFileNumber = 999;

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
    : log_(log), folder_(std::move(folder)), timer_(timers, kTickMilliseconds) {
  timer_.OnTimer = [this] { Tick(); };
  observer_ = log.AddObserver([this](const LogLine&) {
    LineAppended(std::time(nullptr));
    if (!given_up_) timer_.SetEnabled(true);
  });
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
  if (!file_.IsOpen()) {
    if (given_up_ || !WorthALogFile(log_.Lines())) return false;
    if (!WriteWholeFile()) {
      given_up_ = true;
      return false;
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
  if (!file_.IsOpen()) {
    // A log worth a file that ends before its first tick still leaves one.
    if (given_up_ || !WorthALogFile(log_.Lines()) || !WriteWholeFile()) return;
  } else if (lines_in_file_ < log_.LineCount()) {
    AppendNewLines();
  }
  if (unsynced_) Sync();
  file_.Close();
  given_up_ = true;
}

void LiveLogFile::Discard() {
  timer_.SetEnabled(false);
  file_.Remove();
  given_up_ = true;
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

std::string LiveLogFile::Paragraphs(int first) {
  std::string paragraphs;
  for (int i = first; i < log_.LineCount(); ++i) {
    const LogLine& line = log_.Line(i);
    AppendRtfParagraph(paragraphs, line, colors_.IndexOf(line.color));
  }
  return paragraphs;
}

// Writes the whole document to a new file, synced, and gives it the file's name: the first
// free one for a new file, the file's own in place of the old one when the colour table
// outgrew its room. Either way the name leads to a complete document at every moment.
bool LiveLogFile::WriteWholeFile() {
  const int count = log_.LineCount();
  const std::string body = Paragraphs(0);
  std::string table;
  colors_.AppendTo(table);
  const std::size_t room = std::max(kMinTableRoom, table.size() * 2);
  table.append(room - table.size(), '\n');

  std::string content = RtfDocumentStart(font_);
  const std::uint64_t table_offset = content.size();
  content += table;
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
  if (file_.IsOpen()) {
    // Where the system gives no file the name of one held open (Windows), the old file is let
    // go first; for that moment its name leads to a complete document without a lock.
    if (!CanReplaceFileHeldOpen()) file_.Close();
    if (!CommitReplacing(staged.Path(), file_.Path(), error)) {
      staged.Remove();
      // Held by another program, say: the old file is taken back, and a later tick tries
      // again under the same name rather than leaving it behind for a new one.
      if (!file_.IsOpen()) file_ = LockedFile::TakeAbandoned(file_.Path(), error);
      return false;
    }
    staged.SetPath(file_.Path());
  } else {
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
  }
  SyncFolder(folder_);
  // The old file, if any, has lost its name; closing it ends its lock.
  file_ = std::move(staged);
  colors_in_file_ = colors_.Size();
  table_offset_ = table_offset;
  table_room_ = room;
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
  // The table first: a line may only name a colour the file already has.
  if (colors_.Size() > colors_in_file_) {
    std::string table;
    colors_.AppendTo(table);
    if (table.size() > table_room_) return WriteWholeFile();
    table.append(table_room_ - table.size(), '\n');
    if (!file_.WriteAt(table_offset_, table, error)) return false;
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
