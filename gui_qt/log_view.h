#pragma once

#include <QPlainTextEdit>

#include "speech/conversation_log.h"

namespace velmor {

// The read-only rich-text pane that shows the conversation log. Each appended line is
// added at the end in its colour and style, whatever the user has selected; the view
// follows the end while it is scrolled to the bottom.
class LogView : public QPlainTextEdit {
 public:
  LogView(ConversationLog& log, QWidget* parent);

 private:
  void Append(const LogLine& line);

  bool empty_ = true;
};

}  // namespace velmor
