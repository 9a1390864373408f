#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velmor {

// `velmor FOLDER`: the program works in FOLDER (Velmor.ini, hues.mul, the log files, the
// media files) instead of the folder it was started in, and makes FOLDER when it is
// missing. A FOLDER that begins with "~/" lies in `home`: a menu entry has no shell to
// expand it. Returns the error box's text when FOLDER can be neither made nor entered.
std::optional<std::string> EnterWorkingFolder(std::filesystem::path folder,
                                              const std::filesystem::path& home);

}  // namespace velmor
