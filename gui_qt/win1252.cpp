#include "gui_qt/win1252.h"

#include "platform/text_codec.h"

namespace velmor {

QString ToQString(const std::string& text) {
  return QString::fromStdString(Windows1252ToUtf8(text));
}

std::string FromQString(const QString& text) {
  return Utf8ToWindows1252(text.toStdString());
}

}  // namespace velmor
