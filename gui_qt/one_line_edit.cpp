#include "gui_qt/one_line_edit.h"

#include <algorithm>

namespace velmor {

OneLineEdit KeepOneLine(const QString& before, const QString& after) {
  // The insertion is what lies between the longest common head and tail of the two texts.
  const qsizetype shorter = std::min(before.size(), after.size());
  qsizetype head = 0;
  while (head < shorter && before[head] == after[head]) ++head;
  qsizetype tail = 0;
  while (tail < shorter - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  QString inserted = after.mid(head, after.size() - head - tail);
  const auto line_end = std::find_if(inserted.begin(), inserted.end(), [](QChar c) {
    return c == u'\r' || c == u'\n' || c == u'\0';
  });
  inserted.truncate(line_end - inserted.begin());
  return {after.left(head) + inserted + after.right(tail),
          static_cast<int>(head + inserted.size())};
}

}  // namespace velmor
