#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/log_pane_model.h"

// Finding text in the log pane, the same on both desktops: matches ignore case (Unicode
// simple case folding, which agrees with Windows-1252's upper and lower case letters) over
// each line as the pane shows it (time, name, text). The current match is the pane's
// selection, scrolled into sight; the count of all matches is made in slices, so that a
// search of a long log never holds the window up. Main thread only; the pane model must
// outlive it.
namespace velmor {

// A match: where it starts in the shown text of a line, and its length, in UTF-16 units.
struct FindMatch {
  int line = 0;
  int column = 0;
  int length = 0;
  auto operator<=>(const FindMatch&) const = default;
};

// A character's simple case folding (within the Basic Multilingual Plane).
char16_t FoldCase(char16_t c);

class LogFind {
 public:
  explicit LogFind(LogPaneModel& pane);
  ~LogFind();
  LogFind(const LogFind&) = delete;
  LogFind& operator=(const LogFind&) = delete;

  // The text to find, as the player types it. The first match at or after the top line in
  // sight becomes current (the search wraps at the end); without one nothing is selected.
  void SetText(std::u16string_view text);
  // The match after (`forward`) or before the current one, wrapping at either end of the
  // log.
  void Step(bool forward);
  std::optional<FindMatch> Current() const { return current_; }
  // Every match in one line, left to right, for marking them in the pane.
  std::vector<FindMatch> MatchesIn(int line) const;

  // Counts the matches of up to `lines` further lines (new ones included); returns whether
  // lines remain to be counted.
  bool CountMore(int lines = kCountSlice);
  bool Counting() const { return counted_lines_ < pane_.LineCount() && !folded_.empty(); }
  // "3 von 17" (with "..." while counting), "Keine Treffer", or empty without a text.
  std::u16string CountText() const;

  static constexpr int kCountSlice = 50000;

 private:
  // Calls `take(column, length)` for each match in the line; stops when it returns false.
  template <typename Take>
  void ForEachMatch(int line, Take take) const;
  std::size_t FindFolded(std::string_view text, std::size_t from) const;
  bool MayFoldToAscii(std::string_view text) const;
  std::optional<FindMatch> Search(FindMatch from, bool forward) const;
  void MakeCurrent(std::optional<FindMatch> match);
  void RestartCount();

  LogPaneModel& pane_;
  std::u16string folded_;
  std::string folded_ascii_;             // the folded text when all of it is ASCII
  std::array<std::size_t, 256> skip_{};  // how far its search moves on after each byte
  std::optional<FindMatch> current_;
  int counted_lines_ = 0;
  int total_ = 0;
  int before_current_ = 0;  // matches before the current one, in the lines counted
  mutable std::u16string wide_buffer_;
};

}  // namespace velmor
