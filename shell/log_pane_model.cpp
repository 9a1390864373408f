#include "shell/log_pane_model.h"

#include <algorithm>

#include "platform/text_codec.h"

namespace velmor {
namespace {

// Letters and digits of any script, near enough for a double click: everything but
// blanks, controls, punctuation and symbols.
bool IsWordCharacter(char16_t c) {
  if (c < 0x80) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  }
  if (c < 0x100)
    return c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
  const bool punctuation_or_symbol = (c >= 0x2000 && c <= 0x2BFF) ||  // general punctuation ...
                                     (c >= 0x3000 && c <= 0x303F) ||  // CJK punctuation
                                     (c >= 0xFE10 && c <= 0xFE6F) ||  // forms of punctuation
                                     (c >= 0xFF00 && c <= 0xFF0F) ||  // full-width punctuation
                                     (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
                                     (c >= 0xFF5B && c <= 0xFF65);
  return !punctuation_or_symbol;
}

}  // namespace

std::u16string LogPaneModel::ShownText(int line) const {
  std::u16string text = Utf8ToUtf16(log_.Line(line).text);
  for (char16_t& c : text) {
    if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c < 0xA0)) c = u' ';
  }
  return text;
}

int LogPaneModel::LineLength(int line) const {
  return static_cast<int>(ShownText(line).size());
}

void LogPaneModel::SetRows(int rows) {
  const bool at_end = AtEnd();
  rows_ = std::max(1, rows);
  first_line_ = at_end ? LastFirstLine() : std::min(first_line_, LastFirstLine());
}

void LogPaneModel::ScrollIntoSight(int line) {
  if (line < first_line_ || line >= first_line_ + rows_) ScrollTo(line - rows_ / 2);
}

int LogPaneModel::LastFirstLine() const {
  return std::max(0, LineCount() - rows_);
}

bool LogPaneModel::ScrollTo(int first) {
  const int clamped = std::clamp(first, 0, LastFirstLine());
  if (clamped == first_line_) return false;
  first_line_ = clamped;
  return true;
}

void LogPaneModel::LineAppended() {
  // At the end as it was before the new line: its last line was in sight.
  if (first_line_ >= std::max(0, LineCount() - 1 - rows_)) first_line_ = LastFirstLine();
}

std::pair<TextPlace, TextPlace> LogPaneModel::Selection() const {
  return std::minmax(anchor_, cursor_);
}

TextPlace LogPaneModel::Clamped(TextPlace place) const {
  if (LineCount() == 0) return {};
  place.line = std::clamp(place.line, 0, LineCount() - 1);
  place.column = std::clamp(place.column, 0, LineLength(place.line));
  return place;
}

void LogPaneModel::Select(TextPlace anchor, TextPlace cursor) {
  anchor_ = Clamped(anchor);
  cursor_ = Clamped(cursor);
}

void LogPaneModel::SelectAll() {
  if (LineCount() == 0) return;
  Select({0, 0}, {LineCount() - 1, LineLength(LineCount() - 1)});
}

void LogPaneModel::SelectWordAt(TextPlace place) {
  if (LineCount() == 0) return;
  place = Clamped(place);
  const std::u16string text = ShownText(place.line);
  int start = place.column;
  int end = place.column;
  while (start > 0 && IsWordCharacter(text[static_cast<std::size_t>(start - 1)])) --start;
  while (end < static_cast<int>(text.size()) &&
         IsWordCharacter(text[static_cast<std::size_t>(end)])) {
    ++end;
  }
  Select({place.line, start}, {place.line, end});
}

std::u16string LogPaneModel::SelectedText(std::u16string_view line_break) const {
  const auto [from, to] = Selection();
  std::u16string text;
  if (from == to) return text;
  for (int line = from.line; line <= to.line; ++line) {
    const std::u16string shown = ShownText(line);
    const int start = line == from.line ? from.column : 0;
    const int end = line == to.line ? to.column : static_cast<int>(shown.size());
    text.append(shown, static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    if (line < to.line) text += line_break;
  }
  return text;
}

bool LogPaneModel::Press(Key key, bool extend) {
  if (!extend) {
    switch (key) {
      case Key::kUp:
        ScrollBy(-1);
        return true;
      case Key::kDown:
        ScrollBy(1);
        return true;
      case Key::kPageUp:
        ScrollBy(-rows_);
        return true;
      case Key::kPageDown:
        ScrollBy(rows_);
        return true;
      case Key::kTop:
      case Key::kLineStart:
        ScrollTo(0);
        return true;
      case Key::kBottom:
      case Key::kLineEnd:
        ScrollTo(LastFirstLine());
        return true;
      case Key::kLeft:
      case Key::kRight:
        return false;
    }
  }
  if (LineCount() == 0) return true;
  // Without a selection, it begins at the start of the first line in sight.
  if (!HasSelection()) anchor_ = cursor_ = Clamped({first_line_, 0});
  TextPlace place = cursor_;
  switch (key) {
    case Key::kLeft:
      place = place.column > 0 ? TextPlace{place.line, place.column - 1}
              : place.line > 0 ? TextPlace{place.line - 1, LineLength(place.line - 1)}
                               : place;
      break;
    case Key::kRight:
      place = place.column < LineLength(place.line) ? TextPlace{place.line, place.column + 1}
              : place.line + 1 < LineCount()        ? TextPlace{place.line + 1, 0}
                                                    : place;
      break;
    case Key::kUp:
      --place.line;
      break;
    case Key::kDown:
      ++place.line;
      break;
    case Key::kPageUp:
      place.line -= rows_;
      break;
    case Key::kPageDown:
      place.line += rows_;
      break;
    case Key::kLineStart:
      place.column = 0;
      break;
    case Key::kLineEnd:
      place.column = LineLength(place.line);
      break;
    case Key::kTop:
      place = {0, 0};
      break;
    case Key::kBottom:
      place = {LineCount() - 1, LineLength(LineCount() - 1)};
      break;
  }
  cursor_ = Clamped(place);
  KeepCursorInSight();
  return true;
}

void LogPaneModel::KeepCursorInSight() {
  if (cursor_.line < first_line_) {
    ScrollTo(cursor_.line);
  } else if (cursor_.line >= first_line_ + rows_) {
    ScrollTo(cursor_.line - rows_ + 1);
  }
}

}  // namespace velmor
