#include "shell/application_title.h"

#include <cctype>

namespace velmor {

std::string ApplicationTitle(const std::string& program_file) {
  std::string name = program_file;
  if (auto slash = name.find_last_of("/\\"); slash != std::string::npos) name.erase(0, slash + 1);
  if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
  // The executable "velmor" is titled "Velmor": capital first letter, the rest in lower case.
  if (!name.empty()) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  for (std::size_t i = 1; i < name.size(); ++i) {
    name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
  }
  return name;
}

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace velmor
