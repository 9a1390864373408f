#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "speech/conversation_log.h"

// The log pane as both desktops show it: which lines are in sight, what the user has
// selected, and the text to copy, over the conversation log. It keeps nothing per line, and
// nothing a toolkit knows (fonts, pixels): a view draws the lines in sight straight from
// the log, measures with its own fonts, scrolls sideways itself, and hands the user's
// clicks and keys to this model. Main thread only; the log must outlive the model.
namespace velmor {

// A place between two characters of the pane: a line, and an offset in UTF-16 units into
// the text it shows.
struct TextPlace {
  int line = 0;
  int column = 0;
  auto operator<=>(const TextPlace&) const = default;
};

class LogPaneModel {
 public:
  // It starts at the end of the log: the newest lines in sight.
  explicit LogPaneModel(const ConversationLog& log) : log_(log), first_line_(LastFirstLine()) {}

  const ConversationLog& Log() const { return log_; }
  int LineCount() const { return log_.LineCount(); }
  // The text a line shows: the log's text with every control character but tab as a blank,
  // so that a server's line can never become two.
  std::u16string ShownText(int line) const;

  // --- What is in sight -------------------------------------------------------------------
  // The rows that fit the pane, set by the view when its height or font changes. A pane
  // following the end keeps following it.
  void SetRows(int rows);
  int Rows() const { return rows_; }
  int FirstLine() const { return first_line_; }
  // The first line in sight once scrolled to the end.
  int LastFirstLine() const;
  bool AtEnd() const { return first_line_ >= LastFirstLine(); }
  // Scrolls so that `first` is the top line, within bounds; false when nothing moved.
  bool ScrollTo(int first);
  bool ScrollBy(int lines) { return ScrollTo(first_line_ + lines); }
  // After the log gained a line: a pane scrolled to the end follows it; nothing else moves,
  // sideways neither.
  void LineAppended();
  // Brings a line out of sight into the middle of the pane; one in sight stays where it is.
  void ScrollIntoSight(int line);

  // --- Selection --------------------------------------------------------------------------
  // The anchor stays where the selection began; the cursor is its moving end.
  TextPlace Anchor() const { return anchor_; }
  TextPlace Cursor() const { return cursor_; }
  bool HasSelection() const { return anchor_ != cursor_; }
  // The selection from its first place to its last.
  std::pair<TextPlace, TextPlace> Selection() const;
  void Select(TextPlace anchor, TextPlace cursor);
  void SelectAll();
  // The word at `place` (letters and digits of any script), or nothing where there is none.
  void SelectWordAt(TextPlace place);
  // The selected text, lines joined by `line_break`.
  std::u16string SelectedText(std::u16string_view line_break) const;

  // --- Keys -------------------------------------------------------------------------------
  enum class Key {
    kUp,
    kDown,
    kLeft,
    kRight,
    kLineStart,
    kLineEnd,
    kPageUp,
    kPageDown,
    kTop,
    kBottom
  };
  // Without `extend` the keys scroll (a row, a page, to the top or the bottom; Left and Right
  // are left to the view, which scrolls sideways); with it they move the selection's cursor,
  // which then stays in sight. Returns whether the key was taken.
  bool Press(Key key, bool extend);

 private:
  int LineLength(int line) const;
  TextPlace Clamped(TextPlace place) const;
  void KeepCursorInSight();

  const ConversationLog& log_;
  int rows_ = 1;
  int first_line_ = 0;
  TextPlace anchor_;
  TextPlace cursor_;
};

}  // namespace velmor
