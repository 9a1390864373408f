// Media file names as a server may write them, looked up in a small folder tree. Whatever
// is found must exist, and must match the name component for component: the same count, and
// each the name's component (trailing blanks and dots dropped) up to Windows-1252 case; and
// the name must be one of a local file.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_folder.h"
#include "platform/text_codec.h"
#include "platform/windows_path.h"

namespace {

std::vector<std::string> Split(std::string_view text, std::string_view separators) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : text) {
    if (separators.find(c) == std::string_view::npos) {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string Trimmed(const std::string& part) {
  if (part == "." || part == "..") return part;
  return part.substr(0, part.find_last_not_of(" .") + 1);
}

const std::string& Base() {
  static const ScratchFolder folder("velmor_windows_path_fuzz");
  static const std::string base = [] {
    const auto& root = folder.path();
    for (const char* file :
         {"sounds/door.wav", "Kl\u00e4nge/Glocke.wav", "A.wav", "a.wav", "x/\u00c4/\u00e4.ogg"}) {
      std::filesystem::create_directories((root / file).parent_path());
      std::ofstream(root / file) << "x";
    }
    return root.string() + "/";
  }();
  return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string& base = Base();
  const std::optional<std::string> found = velmor::LocateWindowsPath(base + name);
  if (!found) return 0;
  FUZZ_CHECK(velmor::KindOfWindowsName(base + name) == velmor::WindowsNameKind::kLocal);
  struct stat info {};
  FUZZ_CHECK(::stat(found->c_str(), &info) == 0);
  const std::string_view root = std::string_view(base).substr(0, base.size() - 1);
  FUZZ_CHECK(std::string_view(*found).substr(0, root.size()) == root);
  const std::vector<std::string> wanted = Split(name, "\\/");
  const std::vector<std::string> got = Split(std::string_view(*found).substr(root.size()), "/");
  FUZZ_CHECK(wanted.size() == got.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    // A name is read as UTF-8 where it is well-formed, else as Windows-1252: either way
    // its Windows-1252 reading is the found part's.
    FUZZ_CHECK(velmor::EqualsIgnoringCase(velmor::Utf8ToWindows1252(got[i]),
                                          velmor::Utf8ToWindows1252(Trimmed(wanted[i]))));
  }
  return 0;
}
