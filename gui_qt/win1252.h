#pragma once

#include <QString>
#include <string>

namespace velmor {

// Windows-1252 text of the logic to and from Qt's Unicode strings. The five byte values
// that Windows-1252 leaves undefined map to the C1 controls of the same number; a
// character with no Windows-1252 byte becomes '?'.
QString ToQString(const std::string& text);
std::string FromQString(const QString& text);

}  // namespace velmor
