#pragma once

#include <string>

namespace velmor {

// The application title: the program file's name (without folders) up to its first ".",
// with a capital first letter and every letter after it in lower case ("velmor" -> "Velmor").
std::string ApplicationTitle(const std::string& program_file);

// The text of the general error box: the message, with "." appended when its last
// character sorts after ".".
std::string ErrorBoxText(const std::string& message);

}  // namespace velmor
