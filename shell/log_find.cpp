#include "shell/log_find.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace velmor {
namespace {

struct FoldPair {
  char16_t from;
  char16_t to;
};

constexpr FoldPair kFolding[] = {
#include "shell/case_folding_table.inc"
};

// Bytes of printable ASCII folded, a tab kept and other controls as blanks, as the pane
// shows them; 0 for the bytes of characters beyond ASCII, which no text to find holds.
constexpr std::array<char, 256> kAsciiFold = [] {
  std::array<char, 256> fold{};
  for (int byte = 0; byte < 0x80; ++byte) {
    fold[byte] = static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) fold[byte] = ' ';
  }
  return fold;
}();

unsigned char Folded(char c) {
  return static_cast<unsigned char>(kAsciiFold[static_cast<unsigned char>(c)]);
}

bool IsAscii(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
}

}  // namespace

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  const auto* found =
      std::lower_bound(std::begin(kFolding), std::end(kFolding), c,
                       [](const FoldPair& pair, char16_t wanted) { return pair.from < wanted; });
  return found != std::end(kFolding) && found->from == c ? found->to : c;
}

LogFind::LogFind(LogPaneModel& pane) : pane_(pane) {}

LogFind::~LogFind() = default;

std::size_t LogFind::FindFolded(std::string_view text, std::size_t from) const {
  // Boyer-Moore-Horspool over the line's bytes, each folded as the pane shows it: it skips
  // most bytes of a line that does not hold the text.
  const std::size_t length = folded_ascii_.size();
  for (std::size_t at = from; at + length <= text.size();
       at += skip_[Folded(text[at + length - 1])]) {
    std::size_t left = length;
    while (left > 0 &&
           Folded(text[at + left - 1]) == static_cast<unsigned char>(folded_ascii_[left - 1])) {
      --left;
    }
    if (left == 0) return at;
  }
  return std::string_view::npos;
}

// Whether characters beyond ASCII in the line may show as the ASCII the text is made of: the
// Kelvin sign and the long s fold to "k" and "s", and with a blank in the text, the C1
// controls (and bytes that are no UTF-8) show as blanks.
bool LogFind::MayFoldToAscii(std::string_view text) const {
  if (text.find("\xE2\x84\xAA") != std::string_view::npos ||
      text.find("\xC5\xBF") != std::string_view::npos) {
    return true;
  }
  return folded_ascii_.find(' ') != std::string::npos &&
         std::any_of(text.begin(), text.end(), [](char c) {
           const auto byte = static_cast<unsigned char>(c);
           return byte >= 0x80 && byte < 0xA0;
         });
}

template <typename Take>
void LogFind::ForEachMatch(int line, Take take) const {
  const std::string_view text = pane_.Log().Line(line).text;
  if (!folded_ascii_.empty()) {
    // A line without the text's bytes holds no match, unless what is beyond ASCII in it may
    // show as ASCII; in a line of plain ASCII the bytes are the shown text itself.
    std::size_t at = FindFolded(text, 0);
    const bool may_fold = MayFoldToAscii(text);
    if (at == std::string_view::npos && !may_fold) return;
    if (!may_fold && IsAscii(text)) {
      const std::size_t length = folded_ascii_.size();
      for (; at != std::string_view::npos; at = FindFolded(text, at + length)) {
        if (!take(static_cast<int>(at), static_cast<int>(length))) return;
      }
      return;
    }
  } else if (IsAscii(text)) {
    return;  // folded ASCII stays ASCII: a text beyond it is not in the line
  }
  wide_buffer_ = pane_.ShownText(line);
  for (char16_t& c : wide_buffer_) c = FoldCase(c);
  const std::size_t length = folded_.size();
  for (std::size_t at = wide_buffer_.find(folded_); at != std::u16string::npos;
       at = wide_buffer_.find(folded_, at + length)) {
    if (!take(static_cast<int>(at), static_cast<int>(length))) return;
  }
}

std::vector<FindMatch> LogFind::MatchesIn(int line) const {
  std::vector<FindMatch> matches;
  if (folded_.empty()) return matches;
  ForEachMatch(line, [&](int column, int length) {
    matches.push_back({line, column, length});
    return true;
  });
  return matches;
}

// The first match after `from` (before it, backwards), wrapping around the log's ends; in
// `from`'s own line the matches on the far side of it come last.
std::optional<FindMatch> LogFind::Search(FindMatch from, bool forward) const {
  const int count = pane_.LineCount();
  if (folded_.empty() || count == 0) return std::nullopt;
  from.line = std::clamp(from.line, 0, count - 1);
  std::optional<FindMatch> found;
  for (int step = 0; step <= count && !found; ++step) {
    const int line = forward ? (from.line + step) % count : (from.line - step + count) % count;
    const bool first = step == 0;
    const bool last = step == count;
    ForEachMatch(line, [&](int column, int length) {
      const FindMatch match{line, column, length};
      const bool beyond = forward ? match > from : match < from;
      if ((first && !beyond) || (last && beyond)) return true;
      found = match;
      // Forwards the first match of a line will do; backwards the last one.
      return !forward;
    });
  }
  return found;
}

void LogFind::MakeCurrent(std::optional<FindMatch> match) {
  current_ = match;
  if (match) {
    pane_.Select({match->line, match->column}, {match->line, match->column + match->length});
    pane_.ScrollIntoSight(match->line);
  } else {
    pane_.Select(pane_.Cursor(), pane_.Cursor());
  }
}

void LogFind::RestartCount() {
  counted_lines_ = 0;
  total_ = 0;
  before_current_ = 0;
}

void LogFind::SetText(std::u16string_view text) {
  folded_.assign(text);
  for (char16_t& c : folded_) c = FoldCase(c);
  folded_ascii_.clear();
  if (std::all_of(folded_.begin(), folded_.end(), [](char16_t c) { return c < 0x80; })) {
    for (const char16_t c : folded_) folded_ascii_ += kAsciiFold[c];
    skip_.fill(folded_ascii_.size());
    for (std::size_t i = 0; i + 1 < folded_ascii_.size(); ++i) {
      skip_[static_cast<unsigned char>(folded_ascii_[i])] = folded_ascii_.size() - 1 - i;
    }
  }
  MakeCurrent(Search({pane_.FirstLine(), -1, 0}, true));
  RestartCount();
}

void LogFind::Step(bool forward) {
  if (folded_.empty()) return;
  const std::optional<FindMatch> before = current_;
  MakeCurrent(Search(before.value_or(FindMatch{pane_.FirstLine(), -1, 0}), forward));
  if (Counting() || !before || !current_) {
    RestartCount();
  } else if (forward) {
    before_current_ = *current_ > *before ? before_current_ + 1 : 0;
  } else {
    before_current_ = *current_ < *before ? before_current_ - 1 : total_ - 1;
  }
}

bool LogFind::CountMore(int lines) {
  if (folded_.empty()) return false;
  const int end = std::min(pane_.LineCount(), counted_lines_ + lines);
  for (; counted_lines_ < end; ++counted_lines_) {
    ForEachMatch(counted_lines_, [&](int column, int length) {
      ++total_;
      if (current_ && FindMatch{counted_lines_, column, length} < *current_) ++before_current_;
      return true;
    });
  }
  return Counting();
}

std::u16string LogFind::CountText() const {
  const auto number = [](int n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
  };
  if (folded_.empty()) return {};
  if (Counting()) return number(total_) + u" Treffer...";
  if (total_ == 0) return u"Keine Treffer";
  return number(current_ ? before_current_ + 1 : 0) + u" von " + number(total_);
}

}  // namespace velmor
