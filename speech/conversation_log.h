#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "speech/log_line.h"
#include "speech/rtf_writer.h"

// The conversation log: every line the program logs, in the order it was appended, kept
// for the whole run and written to a Rich Text Format file at exit.
//
// Threads: the log belongs to the main thread. Relay workers never call it directly; they
// post their lines to the main thread (see platform/dispatch.h).
namespace velmor {

// The decimal text of n, with a leading "0" when n is below 10 (a year keeps all digits).
std::string TwoDigits(int n);

// "Velmor_Logfile_YYYYMMDD_HHMM.rtf" for a local time; seconds are not part of the name.
std::string LogFileName(const std::tm& when);

// Whether a line is the start or the end line ("<date> <time> --- Start Logging ---").
bool IsStartOrEndLine(LogLineView line);

// The one rule for whether lines make a log file: the start and end line alone do not, one
// logged line does. Lines are told by what they are, not counted: a failed start-up writes
// no start line, and a log still running, or one left behind by a run that never reached
// its exit, has no end line yet.
template <typename Lines>
bool WorthALogFile(const Lines& lines) {
  return std::any_of(lines.begin(), lines.end(),
                     [](LogLineView line) { return !IsStartOrEndLine(line); });
}

// Writes `content` as the log file `name` in the folder (empty: the working directory) and
// returns the path written. An existing log is never replaced: when the name is taken,
// "_2", "_3", ... is put before ".rtf". The file is written under a temporary name in the
// same folder and then claimed under its final name in one step, so there is never a
// half-written log and no temporary file is left behind. Throws velmor::Exception when the
// file cannot be written: "Die Logdatei "<name>" konnte nicht geschrieben werden: <reason>".
std::string WriteLogFile(const std::string& folder, const std::string& name,
                         std::string_view content);

// Gives the complete file `staged` the log file name `name` in the folder, "_2", "_3", ...
// when it is taken, and returns the path it now has. Throws as WriteLogFile does; the file
// then keeps its name.
std::string ClaimLogFileName(const std::filesystem::path& staged, const std::string& folder,
                             const std::string& name);

class ConversationLog {
 public:
  // Called once for each appended line, after it has been added.
  using Observer = std::function<void(LogLineView line)>;

  // The font of the log pane, and so of the log file.
  static constexpr const char* kFontName = "MS Sans Serif";
  static constexpr int kFontPoints = 8;

  // Appends one line in the given colour and style; the next line starts again from black
  // and regular unless it says otherwise. Constant time (amortised) per line.
  void AppendLogLine(std::string text, TColor color = clBlack, LogStyle style = LogStyle::kRegular);
  void AppendLogLine(LogLine line);

  int LineCount() const { return static_cast<int>(records_.size()); }
  // Throws std::out_of_range for an index that is no line.
  LogLineView Line(int index) const;
  // Every line, oldest first, as LogLineViews.
  class LineRange {
   public:
    class Iterator {
     public:
      using iterator_category = std::forward_iterator_tag;
      using value_type = LogLineView;
      using difference_type = std::ptrdiff_t;
      using pointer = void;
      using reference = LogLineView;

      Iterator() = default;
      Iterator(const ConversationLog* log, int index) : log_(log), index_(index) {}
      LogLineView operator*() const { return log_->Line(index_); }
      Iterator& operator++() {
        ++index_;
        return *this;
      }
      Iterator operator++(int) {
        Iterator before = *this;
        ++index_;
        return before;
      }
      bool operator==(const Iterator& other) const { return index_ == other.index_; }

     private:
      const ConversationLog* log_ = nullptr;
      int index_ = 0;
    };

    explicit LineRange(const ConversationLog& log) : log_(log) {}
    Iterator begin() const { return {&log_, 0}; }
    Iterator end() const { return {&log_, log_.LineCount()}; }
    std::size_t size() const { return static_cast<std::size_t>(log_.LineCount()); }

   private:
    const ConversationLog& log_;
  };
  LineRange Lines() const { return LineRange(*this); }

  // Hooks for the view and the live log file, called in the order they were added; each
  // sees each new line once, so it never needs to go over the whole log again. The line
  // handed over lives in the log; an observer must not append lines itself. Returns the
  // number that removes the observer again, which one that dies before the log must do.
  int AddObserver(Observer observer);
  void RemoveObserver(int id);

  // "<date> <time> --- Start Logging ---" and "<date> <time> --- End Logging ---", in black
  // and regular, with the current local time or the one given.
  void WriteStartLine();
  void WriteStartLine(const std::tm& now);
  void WriteEndLine();
  void WriteEndLine(const std::tm& now);

  // Writes the log with WriteLogFile under the name LogFileName gives the time, and returns
  // the name written, folder included; a log not WorthALogFile (nothing logged between the
  // start and the end line) writes nothing and returns nothing.
  std::optional<std::string> SaveLogFile(const std::string& folder = {}) const;
  std::optional<std::string> SaveLogFile(const std::string& folder, const std::tm& now) const;

 private:
  // A line's place in the store: the texts of all lines one after the other in blocks of
  // kBlockBytes (a longer line gets a block of its own), none across two blocks, so that
  // a line costs its text and this record, not an allocation of its own.
  struct Record {
    std::uint32_t block;
    std::uint32_t offset;
    std::uint32_t length;
    TColor color;
    LogStyle style;
  };
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t block_used_ = 0;
  std::size_t block_size_ = 0;
  std::vector<Record> records_;
  std::vector<std::pair<int, Observer>> observers_;
  int next_observer_id_ = 0;
};

}  // namespace velmor
