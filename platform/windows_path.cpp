#include "platform/windows_path.h"

#include <algorithm>
#include <array>

#include "platform/text_codec.h"

namespace velmor {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// "CON", "con.wav", "Nul .txt", "COM1", "lpt\xC2\xB9" (superscript one): a component Windows
// takes for a device, whatever its extension.
bool IsDeviceComponent(std::string_view part) {
  std::string_view stem = part.substr(0, part.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
  if (std::any_of(kDevices.begin(), kDevices.end(),
                  [stem](std::string_view device) { return EqualsIgnoringCase(stem, device); })) {
    return true;
  }
  if (stem.size() < 4 || (!EqualsIgnoringCase(stem.substr(0, 3), "COM") &&
                          !EqualsIgnoringCase(stem.substr(0, 3), "LPT"))) {
    return false;
  }
  const std::string_view number = stem.substr(3);
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

WindowsNameKind KindOfWindowsName(std::string_view name) {
  // Two separators lead a network name and the "\\?\" and "\\.\" namespaces; "\??\" is the
  // system's own name for them.
  if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) {
    return WindowsNameKind::kNetwork;
  }
  if (name.size() >= 4 && IsSeparator(name[0]) && name.substr(1, 2) == "??" &&
      IsSeparator(name[3])) {
    return WindowsNameKind::kNetwork;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i])) continue;
    if (IsDeviceComponent(name.substr(start, i - start))) return WindowsNameKind::kDevice;
    start = i + 1;
  }
  return WindowsNameKind::kLocal;
}

}  // namespace velmor
