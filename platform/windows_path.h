#pragma once

#include <optional>
#include <string>
#include <string_view>

// File names as users of the Windows program write them, found on this system's file system.
//
// Such a name is UTF-8 text; `\` and `/` both separate folders, and repeated separators
// count as one; upper and lower case are one (FoldCase: "Ä" finds "ä", "Д" finds "д");
// blanks and dots at the end of a component are ignored ("door.wav ." is "door.wav"); a
// leading separator starts at the root. "." and ".." keep their meaning.
//
// Any thread. Reads only the folders on the way; opens no file.
namespace velmor {

// What a name stands for before any file system is asked: a file on this machine, or a name
// that would reach beyond it. A network name ("\\host\share\x.wav", "//host/x.wav") would
// make Windows connect to a host the name chooses, and send the player's credentials there;
// the system's own namespaces ("\\?\", "\\.\", "\??\") reach devices and network
// names too; a device name as a component ("CON", "nul.wav", "COM1", "LPT2.mid") opens a
// device instead of a file on Windows. All are refused on every system alike.
enum class WindowsNameKind { kLocal, kNetwork, kDevice };
WindowsNameKind KindOfWindowsName(std::string_view name);

// The path, in the file system's encoding, of what `name` stands for: each component is
// taken as written where that exists, and otherwise as the one entry of its folder that
// differs from it only in case (the first in byte order where several do). On Windows, whose
// file system does all this itself, it is `name` (UTF-8, for Utf8ToWide) once the file
// system has found it. Folders on the
// way must be folders; the last component may be anything, so the caller checks its kind.
// Nothing when a component cannot be found, the name is empty, contains a NUL, has a
// component of nothing but blanks and dots, or is no local name (KindOfWindowsName); such a
// name is never passed to the file system.
std::optional<std::string> LocateWindowsPath(std::string_view name);

}  // namespace velmor
