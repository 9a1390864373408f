#pragma once

#include <QString>

namespace velmor {

// An edit field's text after an edit, kept to one line, and where the cursor goes.
struct OneLineEdit {
  QString text;
  int cursor = 0;
};

// `after` is the field's text once the user has typed, pasted or dropped something into
// `before`. Of the inserted text only what stands before its first line break (CR or LF) or
// NUL is kept, as a single-line edit control does; the text around the insertion stays.
OneLineEdit KeepOneLine(const QString& before, const QString& after);

}  // namespace velmor
