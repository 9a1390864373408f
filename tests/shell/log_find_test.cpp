// The search of the find bar, below both desktops: where it finds a text in a line as the
// pane shows it, whichever way through the line the search takes.
#include "shell/log_find.h"

#include <gtest/gtest.h>

namespace velmor {
namespace {

std::vector<int> Columns(const std::string& line, std::u16string_view text) {
  ConversationLog log;
  log.AppendLogLine(line);
  LogPaneModel pane(log);
  LogFind find(pane);
  find.SetText(text);
  std::vector<int> columns;
  for (const FindMatch& match : find.MatchesIn(0)) columns.push_back(match.column);
  return columns;
}

// Columns count UTF-16 units of the shown text, whatever the bytes behind them; characters
// beyond ASCII that fold or show as ASCII are found as that ASCII.
TEST(LogFindTest, FindsTheTextAsThePaneShowsItInEveryCase) {
  struct Case {
    std::string line;
    std::u16string text;
    std::vector<int> columns;
  } cases[] = {
      {"Hallo hallo HALLO", u"hAllo", {0, 6, 12}},
      {"aaaa", u"aa", {0, 2}},  // matches do not overlap
      {"Gr\xC3\xBC\xC3\x9F"
       "e an Bob",
       u"BOB",
       {9}},  // columns after umlauts
      {"Gr\xFC\xDF"
       "e an Bob",
       u"bob",
       {9}},  // bytes that are no UTF-8
      {"\xC3\x84RGER \xC3\xA4rger", u"\u00E4rger", {0, 6}},
      {"\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2", u"\u043F\u0440\u0438", {0}},  // ПРИВЕТ
      {"\xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1 \xCF\x83\xCF\x82",
       u"\u03C3",
       {0, 6, 7}},  // Σοφία σς
      {"3 \xE2\x84\xAA"
       "elvin",
       u"3 k",
       {0}},  // the Kelvin sign is a k
      {"Wa\xC5\xBF"
       "ser",
       u"wass",
       {0}},  // the long s is an s
      {"a\tb a\x01"
       "b",
       u"a b",
       {4}},  // a control shows as blank
      {"a\xC2\x85"
       "b",
       u"a b",
       {0}},  // so does a C1 control
      {"kein Treffer", u"Drache", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Columns(c.line, c.text), c.columns) << c.line;
}

}  // namespace
}  // namespace velmor
