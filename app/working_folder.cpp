#include "app/working_folder.h"

#include <system_error>

#include "platform/file_io.h"

namespace velmor {

std::optional<std::string> EnterWorkingFolder(std::filesystem::path folder,
                                              const std::filesystem::path& home) {
  const std::filesystem::path::string_type text = folder.native();
  if (text.size() >= 2 && text[0] == '~' && (text[1] == '/' || text[1] == '\\')) {
    folder = home / text.substr(2);
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!error) std::filesystem::current_path(folder, error);
  if (!error) return std::nullopt;
  // "\xF6" "ffnet": the hexadecimal escape would otherwise take the "ff" in.
  return "Der Ordner \"" + TextFromPath(folder) +
         "\" kann nicht angelegt oder ge\xF6"
         "ffnet werden.";
}

}  // namespace velmor
